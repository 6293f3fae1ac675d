#pragma once
// The power function of the band gain computer's gain laws, for two values at once, or for four
// as two pairs worked on side by side.
//
// A gain is a quotient of envelope and threshold raised to the section's exponent: for the
// compressor a quotient of 1 or more and an exponent from −0.9 to 0, for the expander a
// quotient below 1 (down to 0) and an exponent from 0 to 0.9. Power computes exp(exponent ·
// ln base) in SSE2 vector arithmetic, each function reduced by a small table to an interval
// where a short polynomial is exact to about 1e-18. The result is within about 4e-15 of
// std::pow relative to it (ignoring bases below 1e-20, whose powers no signal can hear), far
// below one 16-bit step of any sample, at a fraction of its cost.

#include "frame.h"

#include <array>
#include <bit>
#include <cstdint>

namespace qex::dsp {

namespace power_detail {

using Bits = uint64_t __attribute__((vector_size(16)));

// ln 2 in two parts; the first has its low 32 bits clear, so that its product with an integer
// up to 2^20 is exact.
inline constexpr double kLn2High = 0x1.62e42feep-1;
inline constexpr double kLn2Low = 0x1.a39ef35793c76p-33;

// Table sizes: the logarithm divides the mantissa by the nearest of 128 points between 1 and
// 2, the exponential splits off multiples of ln 2 / 64.
inline constexpr int kLogPoints = 128;
inline constexpr int kExpSteps = 64;

// ln c for c in [1, 2], to the last bit or so, at compile time: 2·atanh((c − 1)/(c + 1)).
constexpr double ConstexprLog(double c)
{
    const double s = (c - 1) / (c + 1);
    double sum = 0.0;
    for (int n = 41; n >= 1; n -= 2)
        sum = sum * (s * s) + 1.0 / n;
    return 2 * s * sum;
}

// e^x for |x| ≤ 1 at compile time, by its Taylor series.
constexpr double ConstexprExp(double x)
{
    double sum = 1.0;
    for (int n = 27; n >= 1; --n)
        sum = 1.0 + sum * x / n;
    return sum;
}

struct LogPoint {
    double inverse; // 1 / c
    double log;     // ln c
};

// The midpoints c = 1 + (j + 0.5) / 128 of the mantissa intervals.
inline constexpr std::array<LogPoint, kLogPoints> kLogTable = [] {
    std::array<LogPoint, kLogPoints> table{};
    for (int j = 0; j < kLogPoints; ++j) {
        const double c = 1.0 + (j + 0.5) / kLogPoints;
        table[j] = {1.0 / c, ConstexprLog(c)};
    }
    return table;
}();

// 2^(j / 64).
inline constexpr std::array<double, kExpSteps> kExpTable = [] {
    std::array<double, kExpSteps> table{};
    for (int j = 0; j < kExpSteps; ++j)
        table[j] = ConstexprExp(j * (0x1.62e42fefa39efp-1 / kExpSteps));
    return table;
}();

// ln x for x ≥ 2^-1022, finite.
inline Pair Log(Pair x)
{
    // x = 2^k · m with m in [1, 2), and m = c · (1 + r) with c the nearest table point.
    const Bits bits = std::bit_cast<Bits>(x);
    const Pair k = std::bit_cast<Pair>((bits >> 52) | std::bit_cast<Bits>(Pair{0x1p52, 0x1p52})) - (0x1p52 + 1023);
    const Pair m = std::bit_cast<Pair>((bits & 0x000FFFFFFFFFFFFFu) | 0x3FF0000000000000u);
    const Bits j = (bits >> 45) & (kLogPoints - 1);
    const LogPoint& p0 = kLogTable[j[0]];
    const LogPoint& p1 = kLogTable[j[1]];
    const Pair r = m * Pair{p0.inverse, p1.inverse} - 1.0;

    // ln(1 + r) with |r| < 1/256 to r⁷, in a tree rather than one chain, so that the powers
    // of consecutive frames overlap in the processor.
    const Pair r2 = r * r;
    const Pair r4 = r2 * r2;
    const Pair high = (1.0 / 3 - 1.0 / 4 * r) + (1.0 / 5 - 1.0 / 6 * r) * r2 + 1.0 / 7 * r4;
    const Pair lnOnePlusR = r - 0.5 * r2 + r * r2 * high;
    return (k * kLn2High + Pair{p0.log, p1.log}) + (k * kLn2Low + lnOnePlusR);
}

// e^y for y from −708 (below which it gives 0) to 709.
inline Pair Exp(Pair y)
{
    const Mask underflow = y < -708.0;
    y = underflow ? Pair{-708.0, -708.0} : y;

    // y = (64 · e + j) · ln 2 / 64 + t with |t| ≤ ln 2 / 128. Adding 1.5 · 2^52 rounds the
    // multiple of ln 2 / 64 to a whole number n held in the low bits; 64 · 1023 more makes
    // them n + 64 · 1023, which splits into the biased binary exponent and j by shifting.
    constexpr double kRound = 0x1.8p52 + kExpSteps * 1023;
    const Pair shifted = y * (kExpSteps / 0x1.62e42fefa39efp-1) + kRound;
    const Pair n = shifted - kRound;
    const Pair t = (y - n * (kLn2High / kExpSteps)) - n * (kLn2Low / kExpSteps);
    const Bits biased = std::bit_cast<Bits>(shifted) - std::bit_cast<Bits>(Pair{0x1.8p52, 0x1.8p52});
    const Bits j = biased & (kExpSteps - 1);
    const Pair scale = std::bit_cast<Pair>((biased >> 6) << 52) * Pair{kExpTable[j[0]], kExpTable[j[1]]};

    // e^t to t⁵.
    const Pair t2 = t * t;
    const Pair p = (1.0 + t) + t2 * ((0.5 + 1.0 / 6 * t) + t2 * (1.0 / 24 + 1.0 / 120 * t));
    return underflow ? Pair{0.0, 0.0} : scale * p;
}

// The base as the logarithm takes it: below the smallest normal number, that number.
inline Pair Normal(Pair base)
{
    return base < 0x1p-1022 ? Pair{0x1p-1022, 0x1p-1022} : base;
}

// The result where the base is 1 or 0 or the exponent 0, else the power found.
inline Pair Exact(Pair base, Pair exponent, Pair power)
{
    const Mask zeroBase = base == 0.0;
    const Mask one = (base == 1.0) | (exponent == 0.0);
    return one ? Pair{1.0, 1.0} : zeroBase ? Pair{0.0, 0.0} : power;
}

} // namespace power_detail

// base ^ exponent in each lane, for a base of 0 or more and a positive base with any exponent
// the gain laws use. Exactly 1 where the base is 1 or the exponent 0, and 0 where the base is
// 0 and the exponent positive. Bases below the smallest normal number count as that number.
inline Pair Power(Pair base, Pair exponent)
{
    using namespace power_detail;
    return Exact(base, exponent, Exp(exponent * Log(Normal(base))));
}

// Two powers of two lanes each, a = a ^ exponentA and b = b ^ exponentB, with each step taken
// for both before the next, so that the processor works on both at once instead of waiting on
// the steps of one. Each lane's result is the one Power gives.
inline void Power(Pair& a, Pair exponentA, Pair& b, Pair exponentB)
{
    using namespace power_detail;
    const Pair logA = Log(Normal(a)), logB = Log(Normal(b));
    const Pair powerA = Exp(exponentA * logA), powerB = Exp(exponentB * logB);
    a = Exact(a, exponentA, powerA);
    b = Exact(b, exponentB, powerB);
}

} // namespace qex::dsp
