#include "util/Properties.h"

#include "util/Text.h"

namespace scalino {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\f';
}

// One logical line (continuations joined) and where each of its natural lines begins in it,
// so that a message can name the line a fault is on.
struct LogicalLine {
    std::string text;
    std::vector<std::pair<size_t, int>> starts;  // offset in text, natural line number

    int lineAt(size_t offset) const {
        int line = starts.front().second;
        for (const auto& [start, number] : starts) {
            if (start > offset) break;
            line = number;
        }
        return line;
    }
};

// Splits the text into logical lines. Blank and comment lines are dropped. A line ends at LF,
// CR or CR LF.
std::vector<LogicalLine> logicalLines(std::string_view text) {
    std::vector<LogicalLine> lines;
    LogicalLine current;
    bool continuing = false;
    int lineNumber = 0;
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
            current = LogicalLine();
        }
        current.starts.emplace_back(current.text.size(), lineNumber);
        size_t backslashes = 0;
        while (backslashes < natural.size() && natural[natural.size() - 1 - backslashes] == '\\')
            ++backslashes;
        continuing = backslashes % 2 == 1;
        current.text += continuing ? natural.substr(0, natural.size() - 1) : natural;
        if (!continuing) lines.push_back(std::move(current));
    }
    if (continuing) lines.push_back(std::move(current));
    return lines;
}

bool isHighSurrogate(char32_t code) {
    return code >= 0xD800 && code < 0xDC00;
}

bool isLowSurrogate(char32_t code) {
    return code >= 0xDC00 && code < 0xE000;
}

std::string escapeText(char32_t unit) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        text += kDigits[(unit >> shift) & 0xF];
    return text;
}

// Reads the key and the value of one logical line, escapes decoded. A malformed escape is an
// error naming its line, never dropped or replaced: the store would otherwise write back a
// value other than the one in the file.
class EntryReader {
public:
    explicit EntryReader(const LogicalLine& line) : line_(line), text_(line.text) {}

    std::pair<std::string, std::string> read() {
        std::string key, value;
        readText(key, true);
        while (i_ < text_.size() && isBlank(text_[i_]))
            ++i_;
        if (i_ < text_.size() && (text_[i_] == '=' || text_[i_] == ':')) ++i_;
        while (i_ < text_.size() && isBlank(text_[i_]))
            ++i_;
        readText(value, false);
        return {std::move(key), std::move(value)};
    }

private:
    // The key ends at the first unescaped separator or blank, the value at the end of the line.
    void readText(std::string& out, bool isKey) {
        while (i_ < text_.size()) {
            const char c = text_[i_];
            if (isKey && (c == '=' || c == ':' || isBlank(c))) return;
            if (c != '\\' || i_ + 1 == text_.size()) {
                out += c;
                ++i_;
                continue;
            }
            const size_t escape = i_;
            i_ += 2;
            switch (text_[escape + 1]) {
                case 't': out += '\t'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 'f': out += '\f'; break;
                case 'u': appendUtf8(out, unicodeEscape(escape)); break;
                default: out += text_[escape + 1];
            }
        }
    }

    // The character of the \uXXXX escape at escape (two of them for a surrogate pair).
    char32_t unicodeEscape(size_t escape) {
        const char32_t unit = hexDigits(escape);
        if (isLowSurrogate(unit)) fail(escape, "unpaired surrogate escape " + escapeText(unit));
        if (!isHighSurrogate(unit)) return unit;
        if (text_.substr(i_, 2) != "\\u") {
            fail(escape, "unpaired surrogate escape " + escapeText(unit));
        }
        const size_t second = i_;
        i_ += 2;
        const char32_t low = hexDigits(second);
        if (!isLowSurrogate(low)) fail(escape, "unpaired surrogate escape " + escapeText(unit));
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }

    // The four hexadecimal digits at i_, which the escape at escape started.
    char32_t hexDigits(size_t escape) {
        char32_t code = 0;
        for (int k = 0; k < 4; ++k, ++i_) {
            const char h = i_ < text_.size() ? text_[i_] : '\0';
            const int digit = h >= '0' && h <= '9'   ? h - '0'
                              : h >= 'a' && h <= 'f' ? h - 'a' + 10
                              : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                                     : -1;
            if (digit < 0) fail(escape, "malformed \\uXXXX escape");
            code = code * 16 + static_cast<char32_t>(digit);
        }
        return code;
    }

    [[noreturn]] void fail(size_t at, const std::string& what) const {
        throw PropertiesSyntaxError(what + " on line " + std::to_string(line_.lineAt(at)));
    }

    const LogicalLine& line_;
    std::string_view text_;
    size_t i_ = 0;
};

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
            out += escapeText(0xD800 + ((c - 0x10000) >> 10));
            out += escapeText(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += escapeText(c);
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
    for (const LogicalLine& line : logicalLines(text))
        entries.push_back(EntryReader(line).read());
    return entries;
}

}  // namespace scalino
