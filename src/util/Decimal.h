#pragma once

#include <gmpxx.h>

#include <optional>
#include <string>
#include <string_view>

namespace scalino {

enum class RoundingMode { UP, DOWN, CEILING, FLOOR, HALF_UP, HALF_DOWN, HALF_EVEN };

// An exact decimal number: an unbounded integer and a scale, value = unscaled × 10^-scale.
// The scale is kept as written ("12.30" has scale 2, "1E3" scale -3), as the number formatting
// of readings relies on it. Operations that can reuse storage take an output argument, so a
// caller that keeps its Decimals alive allocates nothing per reading.
class Decimal {
public:
    // Scales beyond this are refused by parse: printing or aligning such a number would need
    // megabytes, and no instrument or sensible operand comes near it.
    static constexpr int kMaxScaleMagnitude = 10000;

    Decimal() = default;
    Decimal(long unscaled, int scale = 0) : unscaled_(unscaled), scale_(scale) {}

    // Sign, digits with an optional point and fraction, optional exponent ("1E3", "-2.5", ".5",
    // "5."); no spaces, no comma. Returns false and leaves out unspecified when text is not one.
    static bool parse(std::string_view text, Decimal& out);
    static std::optional<Decimal> parse(std::string_view text);

    const mpz_class& unscaledValue() const { return unscaled_; }
    int scale() const { return scale_; }
    int signum() const { return sgn(unscaled_); }
    bool isZero() const { return signum() == 0; }

    // Exact product; the scale is the sum of both scales.
    static void multiply(const Decimal& a, const Decimal& b, Decimal& out);
    Decimal multiply(const Decimal& other) const;
    // Exact difference at the larger scale.
    Decimal subtract(const Decimal& other) const;
    Decimal abs() const;
    // Quotient computed directly to the given scale and rounded once. Throws
    // std::domain_error when the divisor is zero.
    static void divide(const Decimal& dividend, const Decimal& divisor, int scale,
                       RoundingMode mode, Decimal& out);
    Decimal divide(const Decimal& divisor, int scale, RoundingMode mode) const;
    // The same value at another scale, rounded with mode when digits are dropped.
    static void setScale(const Decimal& in, int newScale, RoundingMode mode, Decimal& out);
    Decimal setScale(int newScale, RoundingMode mode) const;

    // Numerical comparison: 2.0 and 2.00 compare equal. Returns -1, 0 or 1.
    int compareTo(const Decimal& other) const;

    // Plain notation, never an exponent: exactly scale() decimals when the scale is positive,
    // none otherwise. Zero has no sign.
    void appendPlain(std::string& out, char decimalSeparator = '.') const;
    std::string toPlainString(char decimalSeparator = '.') const;

private:
    mpz_class unscaled_;
    int scale_ = 0;
};

}  // namespace scalino
