#pragma once

// Helpers shared by the fuzz harnesses: a scratch folder, whole-file reads and writes, a strict
// UTF-8 check written independently of the product's, and the way a harness reports a broken
// property (a message, then abort, which libFuzzer records as a crash with the input).

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

namespace scalino::fuzz {

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace scalino::fuzz

// Checks a property; the message is only built when it is broken (building it can mean printing
// a number of a million digits).
#define FUZZ_REQUIRE(condition, message)                               \
    do {                                                               \
        if (!(condition)) ::scalino::fuzz::fail(std::string(message)); \
    } while (0)

namespace scalino::fuzz {

// Bytes shown with everything outside printable ASCII as \xHH, shortened for messages.
inline std::string shown(std::string_view bytes, size_t limit = 200) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    out += bytes.size() > limit ? "\"..." : "\"";
    return out;
}

inline std::string readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeWholeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write the harness's own file " + file.string());
}

// A private folder for one fuzzing process, on a memory file system where there is one (the
// harnesses write files on every input), removed when the process ends normally.
class ScratchFolder {
public:
    explicit ScratchFolder(std::string_view name) {
        std::filesystem::path base;
        if (const char* chosen = std::getenv("SCALINO_FUZZ_TMPDIR"); chosen && *chosen) {
            base = chosen;
        } else if (std::error_code ignored; std::filesystem::is_directory("/dev/shm", ignored)) {
            base = "/dev/shm";
        } else {
            base = std::filesystem::temp_directory_path();
        }
        std::string pattern = (base / ("scalino-fuzz-" + std::string(name) + "-XXXXXX")).string();
        if (!::mkdtemp(pattern.data())) fail("cannot create a scratch folder in " + base.string());
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Length of the well-formed UTF-8 sequence at text[i] (Unicode table 3-7: no overlong forms,
// no surrogates, nothing above U+10FFFF), or 0 when the bytes there are not one.
inline size_t wellFormedSequenceAt(std::string_view text, size_t i) {
    const auto byte = [&](size_t k) {
        return k < text.size() ? static_cast<unsigned char>(text[k]) : 0x100u;
    };
    const auto in = [](unsigned value, unsigned low, unsigned high) {
        return value >= low && value <= high;
    };
    const unsigned b0 = byte(i), b1 = byte(i + 1), b2 = byte(i + 2), b3 = byte(i + 3);
    if (b0 <= 0x7F) return 1;
    if (in(b0, 0xC2, 0xDF)) return in(b1, 0x80, 0xBF) ? 2 : 0;
    if (in(b0, 0xE0, 0xEF)) {
        const unsigned low = b0 == 0xE0 ? 0xA0 : 0x80, high = b0 == 0xED ? 0x9F : 0xBF;
        return in(b1, low, high) && in(b2, 0x80, 0xBF) ? 3 : 0;
    }
    if (in(b0, 0xF0, 0xF4)) {
        const unsigned low = b0 == 0xF0 ? 0x90 : 0x80, high = b0 == 0xF4 ? 0x8F : 0xBF;
        return in(b1, low, high) && in(b2, 0x80, 0xBF) && in(b3, 0x80, 0xBF) ? 4 : 0;
    }
    return 0;
}

inline bool isWellFormedUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = wellFormedSequenceAt(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// Well-formed sequences kept, every other byte taken as the character of the same code.
inline std::string utf8WithStrayBytesAsLatin1(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = wellFormedSequenceAt(text, i);
        if (length > 0) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i++]);
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace scalino::fuzz
