#include "util/Properties.h"

#include <optional>

#include "util/Text.h"

namespace scalino {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\f';
}

// Splits the text into logical lines (continuations joined), each with the number of the
// natural line it starts on. Blank and comment lines are dropped.
std::vector<std::pair<std::string, int>> logicalLines(std::string_view text) {
    std::vector<std::pair<std::string, int>> lines;
    std::string current;
    bool continuing = false;
    int lineNumber = 0, startLine = 0;
    size_t i = 0;
    while (i <= text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) end = text.size();
        std::string_view natural = text.substr(i, end - i);
        ++lineNumber;
        i = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);
        size_t start = 0;
        while (start < natural.size() && isBlank(natural[start]))
            ++start;
        natural.remove_prefix(start);
        if (!continuing) {
            if (natural.empty() || natural.front() == '#' || natural.front() == '!') continue;
            current.clear();
            startLine = lineNumber;
        }
        size_t backslashes = 0;
        while (backslashes < natural.size() && natural[natural.size() - 1 - backslashes] == '\\')
            ++backslashes;
        continuing = backslashes % 2 == 1;
        current += continuing ? natural.substr(0, natural.size() - 1) : natural;
        if (!continuing) lines.emplace_back(current, startLine);
    }
    if (continuing) lines.emplace_back(current, startLine);
    return lines;
}

// Reads one escaped character at text[i] (just after a backslash); advances i.
void unescape(std::string_view text, size_t& i, std::string& out, int line,
              std::optional<char32_t>& pendingHigh) {
    const char c = text[i++];
    if (c != 'u') {
        switch (c) {
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 'f': out += '\f'; break;
            default: out += c;
        }
        return;
    }
    char32_t code = 0;
    for (int k = 0; k < 4; ++k, ++i) {
        const char h = i < text.size() ? text[i] : '\0';
        int digit = h >= '0' && h <= '9'   ? h - '0'
                    : h >= 'a' && h <= 'f' ? h - 'a' + 10
                    : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                           : -1;
        if (digit < 0)
            throw PropertiesSyntaxError("malformed \\uXXXX escape on line " + std::to_string(line));
        code = code * 16 + static_cast<char32_t>(digit);
    }
    if (code >= 0xD800 && code < 0xDC00) {
        pendingHigh = code;
        return;
    }
    if (code >= 0xDC00 && code < 0xE000 && pendingHigh) {
        code = 0x10000 + ((*pendingHigh - 0xD800) << 10) + (code - 0xDC00);
    }
    pendingHigh.reset();
    appendUtf8(out, code);
}

// The next character of a UTF-8 text, or the byte itself where the text is not well-formed.
char32_t nextCharacter(std::string_view text, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0x80       ? 1
                       : lead >> 5 == 6  ? 2
                       : lead >> 4 == 14 ? 3
                       : lead >> 3 == 30 ? 4
                                         : 0;
    if (length > 1 && i + length <= text.size()) {
        if (const auto decoded = decodeUtf8(text.substr(i, length));
            decoded && decoded->size() == 1) {
            i += length;
            return decoded->front();
        }
    }
    ++i;
    return lead;
}

void appendUnicodeEscape(std::string& out, char32_t unit) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kDigits[(unit >> shift) & 0xF];
}

void appendEscaped(std::string& out, std::string_view text, bool escapeEverySpace) {
    for (size_t i = 0; i < text.size();) {
        const bool first = i == 0;
        const char32_t c = nextCharacter(text, i);
        switch (c) {
            case ' ': out += (first || escapeEverySpace) ? "\\ " : " "; continue;
            case '\t': out += "\\t"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\f': out += "\\f"; continue;
            case '=':
            case ':':
            case '#':
            case '!':
            case '\\':
                out += '\\';
                out += static_cast<char>(c);
                continue;
        }
        if (c >= 0x20 && c <= 0x7E) {
            out += static_cast<char>(c);
        } else if (c > 0xFFFF) {
            appendUnicodeEscape(out, 0xD800 + ((c - 0x10000) >> 10));
            appendUnicodeEscape(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            appendUnicodeEscape(out, c);
        }
    }
}

}  // namespace

void appendPropertiesLine(std::string& out, std::string_view key, std::string_view value) {
    appendEscaped(out, key, true);
    out += '=';
    appendEscaped(out, value, false);
    out += '\n';
}

std::vector<std::pair<std::string, std::string>> parseProperties(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& [line, number] : logicalLines(text)) {
        std::string key, value;
        std::optional<char32_t> pendingHigh;
        size_t i = 0;
        while (i < line.size() && line[i] != '=' && line[i] != ':' && !isBlank(line[i])) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                ++i;
                unescape(line, i, key, number, pendingHigh);
            } else {
                key += line[i++];
            }
        }
        while (i < line.size() && isBlank(line[i]))
            ++i;
        if (i < line.size() && (line[i] == '=' || line[i] == ':')) ++i;
        while (i < line.size() && isBlank(line[i]))
            ++i;
        pendingHigh.reset();
        while (i < line.size()) {
            if (line[i] == '\\' && i + 1 < line.size()) {
                ++i;
                unescape(line, i, value, number, pendingHigh);
            } else {
                value += line[i++];
            }
        }
        entries.emplace_back(std::move(key), std::move(value));
    }
    return entries;
}

}  // namespace scalino
