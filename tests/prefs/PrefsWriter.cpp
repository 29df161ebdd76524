// Writes values into a preferences file, for the tests with several processes: "prefs_writer
// FILE NODE COUNT" puts NODE/key0..key<COUNT-1>; with "loop" it rewrites them for ever, each
// value a long run of one digit, so that a torn file would show.
#include <cstdlib>
#include <string>

#include "prefs/FilePreferencesFactory.h"

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    scalino::FilePreferencesFactory factory(argv[1]);
    scalino::Preferences& node = factory.userRoot().node(argv[2]);
    const int count = std::atoi(argv[3]);
    const bool loop = argc > 4 && std::string(argv[4]) == "loop";
    for (int round = 0;; ++round) {
        for (int i = 0; i < count; ++i) {
            const std::string value =
                loop ? std::string(500, static_cast<char>('0' + round % 10)) : std::to_string(i);
            node.put("key" + std::to_string(i), value);
        }
        if (!loop) break;
    }
    return 0;
}
