#include "cli/CommandLineValues.h"

#include <array>
#include <cctype>

#include "util/Text.h"

namespace scalino::cli {
namespace {

using ConfigHelper::Constant;

struct Alias {
    std::string_view key;
    std::string_view spelling;
    std::string_view stored;
};

// Spellings people use that the store keeps otherwise.
constexpr std::array kAliases = {Alias{"keyboardType", "QWERTY", "QUERTY"}};

constexpr std::array<std::pair<std::string_view, int>, 3> kTerminators = {
    {{"LF", 10}, {"CR", 13}, {"EOT", 4}}};

std::string positionOf(std::span<const Constant> constants, std::string_view value) {
    for (size_t i = 0; i < constants.size(); ++i) {
        if (equalsIgnoringCase(ConfigHelper::displayText(constants[i]), value) ||
            equalsIgnoringCase(constants[i].name, value))
            return std::to_string(i);
    }
    return std::string(value);
}

std::string nameOf(std::span<const Constant> constants, std::string_view value) {
    for (const Constant& constant : constants) {
        if (equalsIgnoringCase(constant.name, value)) return std::string(constant.name);
    }
    return std::string(value);
}

std::string displayTextAt(const ConfigKey& key, const Config& config) {
    const auto position = parseInt(key.get(config));
    if (!position || *position < 0 || static_cast<size_t>(*position) >= key.constants.size())
        return key.get(config);
    return ConfigHelper::displayText(key.constants[static_cast<size_t>(*position)]);
}

std::optional<int> terminatorCode(std::string_view text) {
    for (const auto& [name, code] : kTerminators) {
        if (equalsIgnoringCase(name, text)) return code;
    }
    const auto code = parseInt(text);
    if (code && ConfigHelper::isValidInputTerminatorCode(*code)) return code;
    return std::nullopt;
}

std::vector<std::string_view> splitLineSettings(std::string_view line) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ',' || line[i] == ' ') {
            if (i > start) parts.push_back(line.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

}  // namespace

std::string toStoredForm(const ConfigKey& key, std::string_view value) {
    for (const Alias& alias : kAliases) {
        if (alias.key == key.name && equalsIgnoringCase(alias.spelling, value))
            return std::string(alias.stored);
    }
    if (key.constants.empty()) return std::string(value);
    if (key.form == StoredForm::Integer) return positionOf(key.constants, value);
    return nameOf(key.constants, value);
}

std::string toCommandLineForm(const ConfigKey& key, const Config& config) {
    if (key.form == StoredForm::Integer && !key.constants.empty())
        return displayTextAt(key, config);
    const std::string stored = key.get(config);
    for (const Alias& alias : kAliases) {
        if (alias.key == key.name && alias.stored == stored) return std::string(alias.spelling);
    }
    return stored;
}

std::variant<std::vector<std::string>, std::string> lineAssignments(std::string_view line) {
    // Appended rather than "'" + line: GCC 12 at -O3 warns falsely (-Wrestrict) on the latter.
    std::string usage = "'";
    usage.append(line).append(
        "' is not a line setting such as 9600,8N1 or 2400,7E1,LF (bit rate, data bits 5 to 8, "
        "parity N, O, E, M or S, stop bits 1 or 2, and optionally the line end LF, CR, EOT or a "
        "code)");
    const std::vector<std::string_view> parts = splitLineSettings(line);
    if (parts.size() < 2 || parts.size() > 3) return usage;
    const std::string_view framing = parts[1];
    if (framing.size() != 3 || framing[0] < '5' || framing[0] > '8' ||
        (framing[2] != '1' && framing[2] != '2'))
        return usage;
    static constexpr std::string_view kParities = "NOEMS";
    const size_t parity = kParities.find(
        static_cast<char>(std::toupper(static_cast<unsigned char>(framing[1]))));
    if (parity == std::string_view::npos) return usage;
    std::vector<std::string> assignments = {
        "bitRate=" + std::string(parts[0]),
        "dataBits=" + std::string(1, framing[0]),
        "parity=" + std::string(ConfigHelper::name(static_cast<ConfigHelper::Parity>(parity))),
        "stopBits=" + std::string(1, framing[2])};
    if (parts.size() == 3) {
        const auto code = terminatorCode(parts[2]);
        if (!code) return usage;
        assignments.push_back("inputTerminator=" + std::to_string(*code));
    }
    return assignments;
}

std::string terminatorName(int code) {
    for (const auto& [name, value] : kTerminators) {
        if (value == code) return std::string(name);
    }
    return std::to_string(code);
}

std::string lineSummary(const Config& config) {
    using namespace ConfigHelper;
    const std::string parity(name(static_cast<Parity>(config.getParity())));
    return textAt<BitRates>(config.getBitRate()) + " " + textAt<DataBits>(config.getDataBits()) +
           parity.substr(0, 1) + textAt<StopBits>(config.getStopBits()) + " " +
           terminatorName(config.getInputTerminator());
}

}  // namespace scalino::cli
