#include "util/Regex.h"

#include "util/Text.h"

namespace scalino {
namespace {

// About a tenth of a second of backtracking on one line before the match is given up.
constexpr uint32_t kMatchLimit = 1'000'000;
// The memory one match may hold for backtracking, in KiB: the step limit alone lets an
// expression with many groups take gigabytes on a long line. Ordinary expressions on the
// longest line use a small part of it.
constexpr uint32_t kHeapLimitKiB = 4 * 1024;
// Nested backtracking points at most; deeper nesting is given up as too complex, whatever
// the size of each point.
constexpr uint32_t kDepthLimit = 10'000;

// The limits hold for the interpreter. Compiled code ignores the heap and depth limits and
// keeps its backtracking in its own stack instead: the default one, 32 KiB on the machine
// stack, bounded like the heap. An expression that needs more falls back to the interpreter.
pcre2_match_context* boundedMatchContext() {
    static pcre2_match_context* context = [] {
        pcre2_match_context* created = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(created, kMatchLimit);
        pcre2_set_heap_limit(created, kHeapLimitKiB);
        pcre2_set_depth_limit(created, kDepthLimit);
        return created;
    }();
    return context;
}

pcre2_compile_context* compileContext() {
    static pcre2_compile_context* context = [] {
        pcre2_compile_context* created = pcre2_compile_context_create(nullptr);
        pcre2_set_newline(created, PCRE2_NEWLINE_ANYCRLF);
        return created;
    }();
    return context;
}

std::string errorText(int code) {
    PCRE2_UCHAR buffer[256];
    const int length = pcre2_get_error_message(code, buffer, sizeof buffer);
    if (length < 0) return "error " + std::to_string(code);
    return std::string(reinterpret_cast<const char*>(buffer), static_cast<size_t>(length));
}

}  // namespace

Regex::Regex(std::string_view pattern) : pattern_(pattern) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern_.data()), pattern_.size(),
                                     0, &errorCode, &errorOffset, compileContext());
    if (code == nullptr) {
        throw RegexSyntaxError(errorText(errorCode) + " at position " +
                               std::to_string(errorOffset));
    }
    code_.reset(code, CodeDeleter{});
    // Without JIT support the interpreter does the same work, only slower.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    uint32_t captures = 0;
    pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &captures);
    groupCount_ = static_cast<int>(captures);
}

Regex::Result Regex::find(std::string_view subject, RegexMatch& match) const {
    const auto run = [&](uint32_t options) {
        return pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()),
                           subject.size(), 0, options, match.data_.get(), boundedMatchContext());
    };
    int rc = run(0);
    // The compiled code's stack is small; the interpreter has the larger heap limit.
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) rc = run(PCRE2_NO_JIT);
    match.subject_ = subject;
    match.groupCount_ = groupCount_;
    match.found_ = rc >= 0;
    if (rc >= 0) return Result::Found;
    if (rc == PCRE2_ERROR_NOMATCH) return Result::NotFound;
    return Result::LimitExceeded;
}

RegexMatch::RegexMatch(const Regex& regex)
    : data_(pcre2_match_data_create_from_pattern(regex.code_.get(), nullptr)) {
    if (!data_) throw std::bad_alloc();
}

std::optional<std::string_view> RegexMatch::group(int n) const {
    if (n < 0 || n > groupCount_ || !found_) return std::nullopt;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data_.get());
    const PCRE2_SIZE start = ovector[2 * n], end = ovector[2 * n + 1];
    if (start == PCRE2_UNSET || end < start) return std::nullopt;
    return subject_.substr(start, end - start);
}

std::string patternFromUserText(std::string_view utf8) {
    std::string pattern;
    if (!utf8ToLatin1(utf8, pattern)) {
        throw RegexSyntaxError(
            "the expression contains a character above code 255, which no received byte can "
            "match");
    }
    return pattern;
}

}  // namespace scalino
