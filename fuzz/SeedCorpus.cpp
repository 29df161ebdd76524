// Writes the seed corpus of every fuzzer from the project's own material: the instruments'
// sample lines and values, resources/samples, the resource bundles, settings files as the store
// saves them and settings documents as export writes them. Some inputs are at the limits on
// purpose (deep nesting, many entries, long lines, long numbers), so that every fuzzing session
// checks the bounds the code must keep.
//
// Usage: fuzz_seeds OUTPUT

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "config/Config.h"
#include "config/ConfigKeys.h"
#include "config/Instrument.h"
#include "config/SettingsStore.h"
#include "prefs/FilePreferencesFactory.h"

namespace {

namespace fs = std::filesystem;
using namespace scalino;
using ConfigHelper::Instrument;

const fs::path kSourceDir = SCALINO_SOURCE_DIR;

// Small inputs go to OUTPUT/seeds/<fuzzer>, the corpus that fuzzing mutates; large ones, at the
// limits, to OUTPUT/limits/<fuzzer>, each run once per fuzzing session (mutating megabytes would
// cost most of the executions).
class SeedWriter {
public:
    static constexpr size_t kLargestSeed = 16 * 1024;

    SeedWriter(const fs::path& output, std::string_view fuzzer)
        : seeds_(output / "seeds" / fuzzer), limits_(output / "limits" / fuzzer) {
        for (const fs::path& folder : {seeds_, limits_}) {
            fs::remove_all(folder);
            fs::create_directories(folder);
        }
    }
    void add(std::string_view name, std::string_view bytes) {
        fuzz::writeWholeFile((bytes.size() > kLargestSeed ? limits_ : seeds_) / name, bytes);
        ++count_;
    }
    int count() const { return count_; }

private:
    fs::path seeds_, limits_;
    int count_ = 0;
};

std::string withTerminator(std::string_view line, int terminator) {
    std::string out(line);
    if (out.empty() || static_cast<unsigned char>(out.back()) != terminator)
        out += static_cast<char>(terminator);
    return out;
}

std::string settingsHeader(Instrument instrument, std::string_view extra = {}) {
    const int terminator = ConfigHelper::getSerialDefaults(instrument).inputTerminator;
    return "instrument=" + std::string(ConfigHelper::name(instrument)) +
           "\ninputTerminator=" + std::to_string(terminator) + "\n" + std::string(extra) + "--\n";
}

// Settings that change what processing does, each tried on every instrument's samples.
const std::vector<std::pair<std::string_view, std::string_view>> kProcessingSettings = {
    {"plain", ""},
    {"round", "decimalPlaces=2\nroundingMethod=HALF_EVEN\n"},
    {"multiply", "mathOperation=MULTIPLY\nmathOperand=1000\ndecimalPlaces=1\n"},
    {"divide",
     "mathOperation=DIVIDE\nmathOperand=0.45359237\ndecimalPlaces=3\nroundingMethod=HALF_UP\n"},
    {"keep", "editOperation=KEEP\neditPosition=LAST\neditNumCharacters=5\n"},
    {"remove", "removeCharacters=+- \xC2\xB0\ndecimalSeparator=COMMA\n"},
    {"duplicates", "ignoreDuplicates=true\nignoreTimeLimit=5\nignoreDifference=0.05\n"},
    {"custom", "customRegEx=[,:]\\s*([-+]?[0-9.,]+)\n"},
};

int lineProcessorSeeds(const fs::path& output) {
    SeedWriter seeds(output, "line_processor");
    for (const Instrument instrument : ConfigHelper::values<Instrument>()) {
        const int terminator = ConfigHelper::getSerialDefaults(instrument).inputTerminator;
        std::string lines;
        for (const auto& sample : ConfigHelper::getTestStrings(instrument))
            lines += withTerminator(sample.line, terminator);
        for (const auto& [name, settings] : kProcessingSettings) {
            seeds.add(std::string(ConfigHelper::name(instrument)) + "-" + std::string(name),
                      settingsHeader(instrument, settings) + lines);
        }
    }
    const std::string balance =
        fuzz::readWholeFile(kSourceDir / "resources/samples/and-balance.txt");
    seeds.add("and-balance", settingsHeader(Instrument::AND) + balance);
    seeds.add("and-balance-lf", "instrument=AND\ninputTerminator=10\n--\n" + balance);
    // A line just below the assembler's bound, and one over it.
    seeds.add("long-line",
              "instrument=GENERIC\ninputTerminator=10\n--\n" + std::string(65000, '7') + "\n");
    seeds.add("overlong-line",
              "instrument=GENERIC\ninputTerminator=10\n--\n" + std::string(70000, '1') + "\n2.5\n");
    // An expression whose matching needs much memory per line rather than many steps.
    std::string heavy = "customRegEx=";
    for (int i = 0; i < 2000; ++i)
        heavy += "(x?)";
    heavy += "((?:a|b)*)\ninstrument=BARCODE_ALPHA\ninputTerminator=10\n--\n";
    seeds.add("heavy-expression", heavy + std::string(65000, 'a') + "\n");
    return seeds.count();
}

// The files of a folder tree with the given extension, in a stable order.
std::vector<fs::path> filesUnder(const fs::path& folder, std::string_view extension) {
    std::vector<fs::path> files;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        if (item.is_regular_file() && item.path().extension() == extension)
            files.push_back(item.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Configurations worth storing: every instrument's defaults, and one with texts outside ASCII.
std::vector<std::pair<std::string, Config>> storedConfigs() {
    std::vector<std::pair<std::string, Config>> configs;
    for (const Instrument instrument : ConfigHelper::values<Instrument>()) {
        Config config = ConfigHelper::getDefaultConfig(instrument);
        config.setInstrument(instrument);
        configs.emplace_back(ConfigHelper::name(instrument), std::move(config));
    }
    Config special = defaultStoreConfig();
    const std::vector<std::pair<std::string_view, std::string_view>> settings = {
        {"instrument", "KERN_MPS"},
        {"removeCharacters", "\xC2\xB0kg\xC3\xBF"},
        {"customRegEx", "N\\s+([0-9.]+) \xC2\xB5g"},
        {"mathOperation", "DIVIDE"},
        {"mathOperand", "-0.001"},
        {"decimalPlaces", "7"},
        {"ignoreDuplicates", "true"},
        {"ignoreDifference", "0.5"},
        {"port", "/dev/ttyUSB0"},
    };
    for (const auto& [key, value] : settings)
        findConfigKey(key)->set(special, value);
    configs.emplace_back("special", std::move(special));
    return configs;
}

// Saves config into a fresh store in folder and returns the settings file and a document.
std::pair<std::string, std::string> storedForms(const fs::path& folder, const Config& config) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    FilePreferencesFactory factory(folder / "prefs.txt");
    Preferences& node = factory.userRoot().node(std::string(kSettingsNodePath).substr(1));
    exportConfig(config, node, folder / "document.xml");
    return {fuzz::readWholeFile(folder / "prefs.txt"),
            fuzz::readWholeFile(folder / "document.xml")};
}

int propertiesSeeds(const fs::path& output, const fs::path& scratch) {
    SeedWriter seeds(output, "properties");
    for (const fs::path& bundle : filesUnder(kSourceDir / "resources/scalino", ".properties"))
        seeds.add("bundle-" + bundle.filename().string(), fuzz::readWholeFile(bundle));
    for (const auto& [name, config] : storedConfigs())
        seeds.add("settings-" + name, storedForms(scratch, config).first);
    seeds.add("escapes", "a=x\\\\\nb=y\n\\ key\\=\\:=\\ value\\t\\u00e9\\uD83D\\uDE00\n");
    seeds.add("continuation-crlf", "key=a\\\r\n  b\r\n! comment\r\n# comment\r\nnext : c\r\n");
    seeds.add("latin1", "removeCharacters=\xB0kg\nname=K\xF6ln\n");
    seeds.add("surrogates", "a=\\uD800x\nb=\\uDC00\nc=\\uD83D\\uDE00\n");
    std::string many;
    for (int i = 0; i < 20000; ++i)
        many += "key" + std::to_string(i) + "=value\\u00e9 " + std::to_string(i) + "\n";
    seeds.add("many-entries", many);
    seeds.add("long-value", "value=" + std::string(1 << 20, 'x') + "\n");
    return seeds.count();
}

std::string nestedDocument(int depth) {
    std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<preferences EXTERNAL_XML_VERSION=\"1.0\"><root type=\"user\"><map/>";
    for (int i = 0; i < depth; ++i)
        document += "<node name=\"n\"><map/>";
    document += "<node name=\"leaf\"><map><entry key=\"k\" value=\"v\"/></map></node>";
    for (int i = 0; i < depth; ++i)
        document += "</node>";
    return document + "</root></preferences>\n";
}

std::string documentWithEntries(int count, const std::string& value) {
    std::string document =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        "<!DOCTYPE preferences SYSTEM \"http://java.sun.com/dtd/preferences.dtd\">\n"
        "<preferences EXTERNAL_XML_VERSION=\"1.0\">\n  <root type=\"user\">\n    <map/>\n"
        "    <node name=\"com\"><map/><node name=\"velmora\"><map/><node name=\"Scalino\">\n"
        "      <map>\n";
    for (int i = 0; i < count; ++i) {
        document +=
            "        <entry key=\"key" + std::to_string(i) + "\" value=\"" + value + "\"/>\n";
    }
    return document + "      </map>\n    </node></node></node>\n  </root>\n</preferences>\n";
}

int settingsImportSeeds(const fs::path& output, const fs::path& scratch) {
    SeedWriter seeds(output, "settings_import");
    for (const auto& [name, config] : storedConfigs())
        seeds.add("export-" + name, storedForms(scratch, config).second);
    const std::string head = "<?xml version=\"1.0\"?>\n<!DOCTYPE preferences [\n";
    const std::string body =
        "]>\n<preferences EXTERNAL_XML_VERSION=\"1.0\"><root type=\"user\"><map>"
        "<entry key=\"a\" value=\"&e;\"/><entry key=\"b\" value=\"&#xB0;&amp;&#65;\"/>"
        "</map></root></preferences>\n";
    seeds.add("internal-entity", head + "<!ENTITY e \"expanded\">\n" + body);
    seeds.add("external-entity",
              head + "<!ENTITY e SYSTEM \"file:///tmp/scalino-fuzz-entity.txt\">\n" + body);
    seeds.add("version-text",
              "<preferences EXTERNAL_XML_VERSION=\"09\"><root type=\"system\">"
              "<map><entry key=\"k\" value=\"a&#0;b\"/></map></root></preferences>");
    seeds.add("nested-8", nestedDocument(8));
    seeds.add("nested-100", nestedDocument(100));
    seeds.add("nested-30000", nestedDocument(30000));
    seeds.add("entries-4000", documentWithEntries(4000, "v\xC3\xA9"));
    seeds.add("long-values", documentWithEntries(100, std::string(8 * 1024, 'v')));
    seeds.add("too-long-value", documentWithEntries(1, std::string(1 << 20, 'v')));
    return seeds.count();
}

std::string decimalSeed(int mode, int scale, bool relative, std::string_view text) {
    std::string seed;
    seed += static_cast<char>(mode);
    seed += static_cast<char>(static_cast<int8_t>(scale));
    seed += static_cast<char>(relative ? 1 : 0);
    return seed + std::string(text);
}

int decimalSeeds(const fs::path& output) {
    SeedWriter seeds(output, "decimal");
    std::vector<std::string> numbers;
    for (const Instrument instrument : ConfigHelper::values<Instrument>()) {
        for (const auto& sample : ConfigHelper::getTestStrings(instrument)) {
            std::string value(sample.value);
            std::erase(value, ' ');
            std::replace(value.begin(), value.end(), ',', '.');
            if (!value.empty()) numbers.push_back(value);
        }
    }
    const std::vector<std::string> operands = {"1000",     "0.45359237",
                                               "-0.001",   "2.5",
                                               "-2.5",     "0.5",
                                               ".5",       "5.",
                                               "1E3",      "1e-3",
                                               "-0.000",   "1E10000",
                                               "1E-10000", "12345678901234567890.123456789"};
    numbers.insert(numbers.end(), operands.begin(), operands.end());
    int n = 0;
    for (size_t i = 0; i < numbers.size(); ++i) {
        const std::string& operand = operands[i % operands.size()];
        seeds.add("number-" + std::to_string(n++),
                  decimalSeed(static_cast<int>(i % 7), static_cast<int>(i % 9) - 1, false,
                              numbers[i] + "\n" + operand));
        seeds.add(
            "number-" + std::to_string(n++),
            decimalSeed(static_cast<int>((i + 3) % 7), -static_cast<int>(i % 4), true, numbers[i]));
    }
    seeds.add("long-integer", decimalSeed(4, 2, false, std::string(65536, '9')));
    seeds.add("long-fraction", decimalSeed(6, -3, true, "0." + std::string(10000, '5') + "\n-3"));
    seeds.add("huge-exponent",
              decimalSeed(1, 0, false, "1." + std::string(60000, '0') + "E60000\n7E-10000"));
    return seeds.count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    const fs::path output = argv[1];
    fuzz::ScratchFolder scratch("seeds");
    const int lines = lineProcessorSeeds(output);
    const int properties = propertiesSeeds(output, scratch.path() / "store");
    const int documents = settingsImportSeeds(output, scratch.path() / "store");
    const int decimals = decimalSeeds(output);
    std::printf("seeds: line_processor %d, properties %d, settings_import %d, decimal %d\n", lines,
                properties, documents, decimals);
    return 0;
}
