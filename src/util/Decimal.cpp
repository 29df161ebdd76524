#include "util/Decimal.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <stdexcept>

namespace scalino {
namespace {

constexpr unsigned kCachedPowers = 64;

// 10^k; small powers come from a table built once, larger ones are computed into a per-thread
// scratch value, so the reference is valid until the next call on the same thread.
const mpz_class& pow10(unsigned k) {
    static const std::array<mpz_class, kCachedPowers> table = [] {
        std::array<mpz_class, kCachedPowers> powers;
        for (unsigned i = 0; i < kCachedPowers; ++i)
            mpz_ui_pow_ui(powers[i].get_mpz_t(), 10, i);
        return powers;
    }();
    if (k < kCachedPowers) return table[k];
    thread_local mpz_class large;
    mpz_ui_pow_ui(large.get_mpz_t(), 10, k);
    return large;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Whether a rounded quotient moves one unit away from zero. halfComparison compares twice the
// remainder with the divisor (both as magnitudes); sign is the sign of the exact quotient.
bool roundsAway(RoundingMode mode, int sign, int halfComparison, bool quotientOdd) {
    switch (mode) {
        case RoundingMode::UP: return true;
        case RoundingMode::DOWN: return false;
        case RoundingMode::CEILING: return sign > 0;
        case RoundingMode::FLOOR: return sign < 0;
        case RoundingMode::HALF_UP: return halfComparison >= 0;
        case RoundingMode::HALF_DOWN: return halfComparison > 0;
        case RoundingMode::HALF_EVEN:
            return halfComparison > 0 || (halfComparison == 0 && quotientOdd);
    }
    return false;
}

// quotient = numerator / denominator rounded once with mode; denominator is not zero.
void divideRounded(mpz_class& quotient, const mpz_class& numerator, const mpz_class& denominator,
                   RoundingMode mode) {
    thread_local mpz_class remainder;
    const int sign = sgn(numerator) * sgn(denominator);
    mpz_tdiv_qr(quotient.get_mpz_t(), remainder.get_mpz_t(), numerator.get_mpz_t(),
                denominator.get_mpz_t());
    if (sgn(remainder) == 0) return;
    mpz_mul_2exp(remainder.get_mpz_t(), remainder.get_mpz_t(), 1);
    const int half = mpz_cmpabs(remainder.get_mpz_t(), denominator.get_mpz_t());
    if (!roundsAway(mode, sign, half < 0 ? -1 : (half > 0 ? 1 : 0),
                    mpz_odd_p(quotient.get_mpz_t())))
        return;
    if (sign > 0) {
        quotient += 1;
    } else {
        quotient -= 1;
    }
}

// The unscaled value of d at the larger scale `scale` (>= d.scale()).
void alignTo(const Decimal& d, int scale, mpz_class& out) {
    out = d.unscaledValue() * pow10(static_cast<unsigned>(scale - d.scale()));
}

// Digits of the magnitude, without sign, into a caller's buffer when they fit a machine word.
std::string_view magnitudeDigits(const mpz_class& value, std::array<char, 24>& small) {
    if (mpz_cmpabs_ui(value.get_mpz_t(), ~0UL) <= 0) {
        const unsigned long magnitude = mpz_getlimbn(value.get_mpz_t(), 0);
        auto end = std::to_chars(small.data(), small.data() + small.size(), magnitude).ptr;
        return {small.data(), static_cast<size_t>(end - small.data())};
    }
    thread_local std::string large;
    large.resize(mpz_sizeinbase(value.get_mpz_t(), 10) + 2);
    mpz_get_str(large.data(), 10, value.get_mpz_t());
    std::string_view digits(large.c_str());
    if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
    return digits;
}

}  // namespace

bool Decimal::parse(std::string_view text, Decimal& out) {
    size_t i = 0;
    const size_t n = text.size();
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t integerStart = i;
    while (i < n && isDigit(text[i]))
        ++i;
    const size_t integerEnd = i;
    size_t fractionStart = i, fractionEnd = i;
    if (i < n && text[i] == '.') {
        fractionStart = ++i;
        while (i < n && isDigit(text[i]))
            ++i;
        fractionEnd = i;
    }
    const size_t digitCount = (integerEnd - integerStart) + (fractionEnd - fractionStart);
    if (digitCount == 0) return false;
    long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) negativeExponent = text[i++] == '-';
        const size_t exponentStart = i;
        while (i < n && isDigit(text[i])) {
            if (exponent > kMaxScaleMagnitude * 10L) return false;
            exponent = exponent * 10 + (text[i++] - '0');
        }
        if (i == exponentStart) return false;
        if (negativeExponent) exponent = -exponent;
    }
    if (i != n) return false;
    const long scale = static_cast<long>(fractionEnd - fractionStart) - exponent;
    if (scale > kMaxScaleMagnitude || scale < -kMaxScaleMagnitude) return false;

    // Digits without the point and without leading zeros; up to 19 of them fit a machine word.
    thread_local std::string digits;
    digits.clear();
    for (size_t k = integerStart; k < fractionEnd; ++k) {
        if (text[k] == '.' || (digits.empty() && text[k] == '0')) continue;
        digits.push_back(text[k]);
    }
    if (digits.size() <= 19) {
        std::uint64_t value = 0;
        for (char c : digits)
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        mpz_set_ui(out.unscaled_.get_mpz_t(), value);
    } else {
        mpz_set_str(out.unscaled_.get_mpz_t(), digits.c_str(), 10);
    }
    if (negative) mpz_neg(out.unscaled_.get_mpz_t(), out.unscaled_.get_mpz_t());
    out.scale_ = static_cast<int>(scale);
    return true;
}

std::optional<Decimal> Decimal::parse(std::string_view text) {
    Decimal result;
    if (!parse(text, result)) return std::nullopt;
    return result;
}

void Decimal::multiply(const Decimal& a, const Decimal& b, Decimal& out) {
    const int scale = a.scale_ + b.scale_;
    mpz_mul(out.unscaled_.get_mpz_t(), a.unscaled_.get_mpz_t(), b.unscaled_.get_mpz_t());
    out.scale_ = scale;
}

Decimal Decimal::multiply(const Decimal& other) const {
    Decimal result;
    multiply(*this, other, result);
    return result;
}

Decimal Decimal::subtract(const Decimal& other) const {
    const int scale = std::max(scale_, other.scale_);
    mpz_class a, b;
    alignTo(*this, scale, a);
    alignTo(other, scale, b);
    Decimal result;
    result.unscaled_ = a - b;
    result.scale_ = scale;
    return result;
}

Decimal Decimal::abs() const {
    Decimal result = *this;
    mpz_abs(result.unscaled_.get_mpz_t(), result.unscaled_.get_mpz_t());
    return result;
}

void Decimal::divide(const Decimal& dividend, const Decimal& divisor, int scale, RoundingMode mode,
                     Decimal& out) {
    if (divisor.isZero()) throw std::domain_error("Division by zero");
    // dividend / divisor at `scale` is (u1 × 10^k) / u2 with k = scale + s2 - s1.
    thread_local mpz_class numerator, denominator;
    const long k = static_cast<long>(scale) + divisor.scale_ - dividend.scale_;
    if (k >= 0) {
        numerator = dividend.unscaled_ * pow10(static_cast<unsigned>(k));
        denominator = divisor.unscaled_;
    } else {
        numerator = dividend.unscaled_;
        denominator = divisor.unscaled_ * pow10(static_cast<unsigned>(-k));
    }
    divideRounded(out.unscaled_, numerator, denominator, mode);
    out.scale_ = scale;
}

Decimal Decimal::divide(const Decimal& divisor, int scale, RoundingMode mode) const {
    Decimal result;
    divide(*this, divisor, scale, mode, result);
    return result;
}

void Decimal::setScale(const Decimal& in, int newScale, RoundingMode mode, Decimal& out) {
    if (newScale >= in.scale_) {
        mpz_mul(out.unscaled_.get_mpz_t(), in.unscaled_.get_mpz_t(),
                pow10(static_cast<unsigned>(newScale - in.scale_)).get_mpz_t());
    } else {
        divideRounded(out.unscaled_, in.unscaled_,
                      pow10(static_cast<unsigned>(in.scale_ - newScale)), mode);
    }
    out.scale_ = newScale;
}

Decimal Decimal::setScale(int newScale, RoundingMode mode) const {
    Decimal result;
    setScale(*this, newScale, mode, result);
    return result;
}

int Decimal::compareTo(const Decimal& other) const {
    int result;
    if (scale_ == other.scale_) {
        result = cmp(unscaled_, other.unscaled_);
    } else {
        thread_local mpz_class aligned;
        if (scale_ < other.scale_) {
            alignTo(*this, other.scale_, aligned);
            result = cmp(aligned, other.unscaled_);
        } else {
            alignTo(other, scale_, aligned);
            result = cmp(unscaled_, aligned);
        }
    }
    return (result > 0) - (result < 0);
}

void Decimal::appendPlain(std::string& out, char decimalSeparator) const {
    std::array<char, 24> small;
    const std::string_view digits = magnitudeDigits(unscaled_, small);
    if (signum() < 0) out += '-';
    if (scale_ <= 0) {
        out += digits;
        if (!isZero()) out.append(static_cast<size_t>(-scale_), '0');
        return;
    }
    const size_t fraction = static_cast<size_t>(scale_);
    if (digits.size() > fraction) {
        out += digits.substr(0, digits.size() - fraction);
        out += decimalSeparator;
        out += digits.substr(digits.size() - fraction);
    } else {
        out += '0';
        out += decimalSeparator;
        out.append(fraction - digits.size(), '0');
        out += digits;
    }
}

std::string Decimal::toPlainString(char decimalSeparator) const {
    std::string result;
    appendPlain(result, decimalSeparator);
    return result;
}

}  // namespace scalino
