// The exact decimal arithmetic against a model of its own: parsing accepts exactly the
// documented syntax within the scale bound and reads the value digit for digit; the plain text
// reads back as the same value; rounding to a scale agrees with rounding the exact rational,
// rounding twice equals rounding once, and the symmetric modes are symmetric; products,
// differences, comparisons and quotients agree with exact rational arithmetic.
//
// Input: byte 0 chooses the rounding mode, byte 1 (signed) the scale to round to, byte 2 bit 0
// makes that scale relative to the first number's; the rest is the first number, optionally
// followed by a line feed and a second one.

#include <gmpxx.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "util/Decimal.h"

namespace {

using scalino::Decimal;
using scalino::RoundingMode;
using scalino::fuzz::shown;

constexpr std::array kModes = {
    RoundingMode::UP,      RoundingMode::DOWN,      RoundingMode::CEILING,  RoundingMode::FLOOR,
    RoundingMode::HALF_UP, RoundingMode::HALF_DOWN, RoundingMode::HALF_EVEN};
constexpr std::array kModeNames = {"UP",      "DOWN",      "CEILING",  "FLOOR",
                                   "HALF_UP", "HALF_DOWN", "HALF_EVEN"};

// What the syntax says about a text: not a number, a number, or a number whose exponent is so
// large that refusing it is also fine (the parser gives up on exponents beyond a bound).
struct Expected {
    bool number = false;
    bool refusalAllowed = false;
    mpz_class unscaled;
    long scale = 0;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

Expected model(std::string_view text) {
    Expected expected;
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::string digits;
    while (i < text.size() && isDigit(text[i]))
        digits += text[i++];
    long fractionDigits = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) {
            digits += text[i++];
            ++fractionDigits;
        }
    }
    if (digits.empty()) return expected;
    long exponent = 0;
    bool hugeExponent = false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negativeExponent = text[i++] == '-';
        const size_t start = i;
        while (i < text.size() && isDigit(text[i])) {
            exponent = exponent * 10 + (text[i++] - '0');
            if (exponent > 1'000'000'000L) {
                hugeExponent = true;
                exponent = 1'000'000'000L;
            }
        }
        if (i == start) return expected;
        if (negativeExponent) exponent = -exponent;
    }
    if (i != text.size()) return expected;
    const long scale = fractionDigits - exponent;
    if (hugeExponent || scale > Decimal::kMaxScaleMagnitude || scale < -Decimal::kMaxScaleMagnitude)
        return expected;
    expected.number = true;
    expected.refusalAllowed = exponent > 1'000'000 || exponent < -1'000'000;
    expected.unscaled.set_str(digits, 10);
    if (negative) expected.unscaled = -expected.unscaled;
    expected.scale = scale;
    return expected;
}

mpz_class pow10(long k) {
    mpz_class result;
    mpz_ui_pow_ui(result.get_mpz_t(), 10, static_cast<unsigned long>(k));
    return result;
}

// The unscaled value of d at a scale at least its own.
mpz_class aligned(const Decimal& d, long scale) {
    return d.unscaledValue() * pow10(scale - d.scale());
}

// The numerical order of a and b: -1, 0 or 1.
int order(const Decimal& a, const Decimal& b) {
    const long scale = std::max(a.scale(), b.scale());
    const int result = cmp(aligned(a, scale), aligned(b, scale));
    return (result > 0) - (result < 0);
}

// numerator / denominator rounded to an integer with mode, decided from the floor quotient
// and the fraction left over.
mpz_class roundedQuotient(const mpz_class& numerator, const mpz_class& denominator,
                          RoundingMode mode) {
    mpz_class floor, remainder;
    mpz_fdiv_qr(floor.get_mpz_t(), remainder.get_mpz_t(), numerator.get_mpz_t(),
                denominator.get_mpz_t());
    if (remainder == 0) return floor;
    const mpz_class ceiling = floor + 1;
    const bool positive = floor >= 0;  // the exact quotient lies strictly between both
    const mpz_class& towardZero = positive ? floor : ceiling;
    const mpz_class& awayFromZero = positive ? ceiling : floor;
    const int half = cmp(abs(remainder) * 2, abs(denominator));  // fraction against one half
    const mpz_class& nearest = half < 0 ? floor : ceiling;
    switch (mode) {
        case RoundingMode::UP: return awayFromZero;
        case RoundingMode::DOWN: return towardZero;
        case RoundingMode::CEILING: return ceiling;
        case RoundingMode::FLOOR: return floor;
        case RoundingMode::HALF_UP: return half == 0 ? awayFromZero : nearest;
        case RoundingMode::HALF_DOWN: return half == 0 ? towardZero : nearest;
        case RoundingMode::HALF_EVEN:
            return half == 0 ? (mpz_even_p(floor.get_mpz_t()) ? floor : ceiling) : nearest;
    }
    scalino::fuzz::fail("unknown rounding mode");
}

std::string describe(const Decimal& d) {
    return shown(d.toPlainString()) + " (scale " + std::to_string(d.scale()) + ")";
}

// what is only called when the check fails: it names the operation.
template <typename What>
void requireSame(const Decimal& actual, const mpz_class& unscaled, long scale, What what) {
    FUZZ_REQUIRE(actual.unscaledValue() == unscaled && actual.scale() == scale,
                 what() + ": got " + describe(actual) + ", expected unscaled " +
                     unscaled.get_str() + " at scale " + std::to_string(scale));
}

std::optional<Decimal> parseChecked(std::string_view text) {
    const Expected expected = model(text);
    const std::optional<Decimal> parsed = Decimal::parse(text);
    if (!parsed) {
        FUZZ_REQUIRE(!expected.number || expected.refusalAllowed,
                     "a number in the documented syntax was refused: " + shown(text));
        return std::nullopt;
    }
    FUZZ_REQUIRE(expected.number,
                 "a text outside the documented syntax was accepted: " + shown(text));
    requireSame(*parsed, expected.unscaled, expected.scale,
                [&] { return std::string("parse of " + shown(text)); });
    return parsed;
}

// Plain notation: an optional minus (never for zero), integer digits without superfluous
// leading zeros, and exactly scale() decimals when the scale is positive.
void checkPlainText(const Decimal& d) {
    const std::string text = d.toPlainString();
    std::string_view rest = text;
    if (!rest.empty() && rest.front() == '-') {
        FUZZ_REQUIRE(d.signum() < 0, "minus sign on " + describe(d));
        rest.remove_prefix(1);
    }
    const size_t point = rest.find('.');
    const std::string_view integer = rest.substr(0, point);
    FUZZ_REQUIRE(!integer.empty() && integer.find_first_not_of("0123456789") == std::string::npos &&
                     (integer.size() == 1 || integer.front() != '0'),
                 "integer part of the plain text of " + describe(d));
    const size_t decimals = point == std::string::npos ? 0 : rest.size() - point - 1;
    FUZZ_REQUIRE(decimals == static_cast<size_t>(std::max(d.scale(), 0)) &&
                     (point == std::string::npos ||
                      rest.substr(point + 1).find_first_not_of("0123456789") == std::string::npos),
                 "decimals of the plain text of " + describe(d));

    std::string withComma = text;
    if (point != std::string::npos) withComma[text.size() - rest.size() + point] = ',';
    FUZZ_REQUIRE(d.toPlainString(',') == withComma, "the comma form of " + describe(d));

    // Results of arithmetic may have more decimals than parse accepts.
    if (d.scale() > Decimal::kMaxScaleMagnitude) return;
    const std::optional<Decimal> again = Decimal::parse(text);
    FUZZ_REQUIRE(again.has_value(), "the plain text of " + describe(d) + " does not parse");
    FUZZ_REQUIRE(again->compareTo(d) == 0 && order(*again, d) == 0 &&
                     again->scale() == std::max(d.scale(), 0),
                 "the plain text of " + describe(d) + " reads back as " + describe(*again));
}

void checkRounding(const Decimal& d, int scale, RoundingMode mode, const std::string& label) {
    const Decimal rounded = d.setScale(scale, mode);
    const long shift = static_cast<long>(scale) - d.scale();
    const mpz_class expected = shift >= 0 ? d.unscaledValue() * pow10(shift)
                                          : roundedQuotient(d.unscaledValue(), pow10(-shift), mode);
    requireSame(rounded, expected, scale, [&] {
        return std::string("setScale(" + describe(d) + ", " + std::to_string(scale) + ", " + label +
                           ")");
    });
    requireSame(rounded.setScale(scale, mode), expected, scale,
                [&] { return std::string("rounding twice with " + label); });

    Decimal inPlace = d;
    Decimal::setScale(inPlace, scale, mode, inPlace);
    requireSame(inPlace, expected, scale,
                [&] { return std::string("rounding in place with " + label); });

    const Decimal negated = d.multiply(Decimal(-1));
    RoundingMode mirrored = mode;
    if (mode == RoundingMode::CEILING) mirrored = RoundingMode::FLOOR;
    if (mode == RoundingMode::FLOOR) mirrored = RoundingMode::CEILING;
    const Decimal mirror = negated.setScale(scale, mirrored);
    requireSame(mirror, -expected, scale,
                [&] { return std::string("rounding " + describe(negated) + " mirrors " + label); });
}

void checkArithmetic(const Decimal& a, const Decimal& b, int scale, RoundingMode mode,
                     const std::string& label) {
    const Decimal product = a.multiply(b);
    FUZZ_REQUIRE(product.scale() == a.scale() + b.scale() &&
                     product.unscaledValue() == a.unscaledValue() * b.unscaledValue(),
                 "product of " + describe(a) + " and " + describe(b) + " is " + describe(product));

    const Decimal difference = a.subtract(b);
    const long common = std::max(a.scale(), b.scale());
    FUZZ_REQUIRE(
        difference.scale() == common &&
            difference.unscaledValue() == aligned(a, common) - aligned(b, common),
        "difference of " + describe(a) + " and " + describe(b) + " is " + describe(difference));

    const int expectedOrder = order(a, b);
    FUZZ_REQUIRE(a.compareTo(b) == expectedOrder && b.compareTo(a) == -a.compareTo(b),
                 "comparison of " + describe(a) + " and " + describe(b));

    if (b.isZero()) {
        try {
            (void)a.divide(b, scale, mode);
        } catch (const std::domain_error&) {
            return;
        }
        scalino::fuzz::fail("division by zero did not throw");
    }
    const Decimal quotient = a.divide(b, scale, mode);
    // a / b × 10^scale = ua × 10^(scale - sa + sb) / ub
    const long k = static_cast<long>(scale) - a.scale() + b.scale();
    const mpz_class numerator = k >= 0 ? a.unscaledValue() * pow10(k) : a.unscaledValue();
    const mpz_class denominator = k >= 0 ? b.unscaledValue() : b.unscaledValue() * pow10(-k);
    requireSame(quotient, roundedQuotient(numerator, denominator, mode), scale, [&] {
        return std::string("quotient of " + describe(a) + " by " + describe(b) + " with " + label);
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t modeIndex = data[0] % kModes.size();
    const RoundingMode mode = kModes[modeIndex];
    const std::string label = kModeNames[modeIndex];
    const int scaleByte = static_cast<int8_t>(data[1]);
    const bool relative = data[2] & 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + 3, size - 3);
    const size_t split = text.find('\n');

    const std::optional<Decimal> a = parseChecked(text.substr(0, split));
    std::optional<Decimal> b;
    if (split != std::string_view::npos) b = parseChecked(text.substr(split + 1));
    if (!a) return 0;

    const int scale = relative ? a->scale() + scaleByte : scaleByte;
    checkPlainText(*a);
    checkRounding(*a, scale, mode, label);
    checkPlainText(a->setScale(scale, mode));
    if (b) checkArithmetic(*a, *b, scale, mode, label);
    return 0;
}
