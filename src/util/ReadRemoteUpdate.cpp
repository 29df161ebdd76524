#include "util/ReadRemoteUpdate.h"

#include <algorithm>
#include <array>
#include <optional>

namespace scalino {
namespace {

bool isDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int compareTexts(std::string_view a, std::string_view b) {
    const int order = a.compare(b);
    return (order > 0) - (order < 0);
}

// Non-negative integers written as digits, of any length.
int compareIntegers(std::string_view a, std::string_view b) {
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return compareTexts(a, b);
}

struct DecimalText {
    std::string_view integer;
    std::string_view fraction;
};

// Digits, optionally followed by a point and more digits.
std::optional<DecimalText> parseDecimal(std::string_view text) {
    const auto point = text.find('.');
    DecimalText parts{text.substr(0, point), {}};
    if (point != std::string_view::npos) {
        parts.fraction = text.substr(point + 1);
        if (!isDigits(parts.fraction)) return std::nullopt;
    }
    if (!isDigits(parts.integer)) return std::nullopt;
    const auto last = parts.fraction.find_last_not_of('0');
    parts.fraction = parts.fraction.substr(0, last == std::string_view::npos ? 0 : last + 1);
    return parts;
}

// Fractions without trailing zeros order as texts do: "1" (0.1) after "05" (0.05).
std::optional<int> compareDecimals(std::string_view a, std::string_view b) {
    const auto left = parseDecimal(a);
    const auto right = parseDecimal(b);
    if (!left || !right) return std::nullopt;
    if (const int order = compareIntegers(left->integer, right->integer)) return order;
    return compareTexts(left->fraction, right->fraction);
}

using Segments = std::array<std::string_view, 4>;

std::optional<Segments> parseFourSegments(std::string_view text) {
    Segments segments;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const auto dot = text.find('.');
        const bool last = i + 1 == segments.size();
        if (last != (dot == std::string_view::npos)) return std::nullopt;
        segments[i] = text.substr(0, dot);
        if (!isDigits(segments[i])) return std::nullopt;
        if (!last) text.remove_prefix(dot + 1);
    }
    return segments;
}

bool atMostOneDot(std::string_view text) {
    return text.find('.') == text.rfind('.');
}

std::string withoutLineEnds(std::string_view document) {
    std::string joined;
    joined.reserve(document.size());
    std::copy_if(document.begin(), document.end(), std::back_inserter(joined),
                 [](char c) { return c != '\r' && c != '\n'; });
    return joined;
}

}  // namespace

ReadRemoteUpdate::ReadRemoteUpdate(std::string_view document, std::string currentVersion,
                                   std::string language)
    : content_(withoutLineEnds(document)),
      currentVersion_(std::move(currentVersion)),
      language_(std::move(language)),
      remoteVersion_(findXML(versionTag, language_)) {}

bool ReadRemoteUpdate::newerVersionAvailable() const {
    return compareVersions(remoteVersion_, currentVersion_);
}

std::string ReadRemoteUpdate::findXML(std::string_view element, std::string_view language) const {
    return findXML(content_, element, language);
}

std::string ReadRemoteUpdate::findXML(std::string_view content, std::string_view element,
                                      std::string_view language) {
    std::string name(element);
    if (!language.empty()) name.append("_").append(language);
    const std::string opening = "<" + name + ">";
    const std::string closing = "</" + name + ">";
    const auto open = content.find(opening);
    const auto end = content.find(closing);
    if (open == std::string_view::npos || end == std::string_view::npos) return "";
    const auto start = open + opening.size();
    if (start >= end) return "";
    return std::string(content.substr(start, end - start));
}

bool ReadRemoteUpdate::compareVersions(std::string_view remote, std::string_view current) {
    if (remote.empty() || current.empty() || remote == current) return false;
    if (atMostOneDot(remote)) return compareDecimals(remote, current).value_or(0) > 0;
    const auto remoteSegments = parseFourSegments(remote);
    if (!remoteSegments) return false;
    if (atMostOneDot(current)) return true;
    const auto currentSegments = parseFourSegments(current);
    if (!currentSegments) return false;
    for (std::size_t i = 0; i < remoteSegments->size(); ++i) {
        if (const int order = compareIntegers((*remoteSegments)[i], (*currentSegments)[i]))
            return order > 0;
    }
    return false;
}

}  // namespace scalino
