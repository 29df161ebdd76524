#pragma once

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace scalino {

// An expression that does not compile; what() says what is wrong and where.
class RegexSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RegexMatch;

// A compiled regular expression over byte text: one character per byte, codes 0 to 255, never
// decoded as UTF-8 (so \xb0 is one character). Perl semantics with these conventions: "."
// stops at CR and LF, "\s" is space, tab, LF, VT, FF and CR, "\d" the ASCII digits, "^" the
// start of the text. Matching is bounded in steps, memory and nesting: an expression that
// backtracks without end, or needs more than a few MiB for one line, reports LimitExceeded
// instead of hanging or exhausting memory. Immutable after construction; share it freely between
// threads, each with its own RegexMatch.
class Regex {
public:
    enum class Result { Found, NotFound, LimitExceeded };

    // Pattern in the same byte model as the subjects. Throws RegexSyntaxError.
    explicit Regex(std::string_view pattern);

    // Find-first search anywhere in subject; on Found, match holds the groups.
    Result find(std::string_view subject, RegexMatch& match) const;
    // Number of capture groups the expression has.
    int groupCount() const { return groupCount_; }
    const std::string& pattern() const { return pattern_; }

private:
    friend class RegexMatch;
    struct CodeDeleter {
        void operator()(pcre2_code* code) const { pcre2_code_free(code); }
    };
    std::string pattern_;
    std::shared_ptr<pcre2_code> code_;
    int groupCount_ = 0;
};

// Per-thread match state for one Regex; reused from match to match without allocating.
class RegexMatch {
public:
    explicit RegexMatch(const Regex& regex);

    // Text of group n of the last successful find, or none when the group does not exist or
    // did not take part in the match. Valid while the subject lives.
    std::optional<std::string_view> group(int n) const;

private:
    friend class Regex;
    struct DataDeleter {
        void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
    };
    std::unique_ptr<pcre2_match_data, DataDeleter> data_;
    std::string_view subject_;
    int groupCount_ = 0;
    bool found_ = false;
};

// The Unicode text of a user's expression as a byte-model pattern: each character up to 255
// stands for the byte of that code. Throws RegexSyntaxError for a character above 255 (no
// received byte could match it) or text that is not UTF-8.
std::string patternFromUserText(std::string_view utf8);

}  // namespace scalino
