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

// N two-lane vectors worked on as one value: each operation is applied to every one of them
// in turn, so that the processor has N independent computations at hand instead of waiting on
// the steps of one. Every lane gets exactly the arithmetic it would get alone.
template <typename E, size_t N>
struct Bundle {
    std::array<E, N> part;
};

template <typename T>
inline constexpr bool kIsBundle = false;
template <typename E, size_t N>
inline constexpr bool kIsBundle<Bundle<E, N>> = true;

template <typename T>
inline constexpr size_t kPartCount = 1;
template <typename E, size_t N>
inline constexpr size_t kPartCount<Bundle<E, N>> = N;

// Part n of a bundle; a plain value is the same in every part.
template <typename T>
const T& PartOf(const T& value, size_t)
{
    return value;
}
template <typename E, size_t N>
const E& PartOf(const Bundle<E, N>& bundle, size_t n)
{
    return bundle.part[n];
}

template <typename A, typename B, typename F>
auto Combine(const A& a, const B& b, F f)
{
    constexpr size_t N = kIsBundle<A> ? kPartCount<A> : kPartCount<B>;
    Bundle<decltype(f(PartOf(a, 0), PartOf(b, 0))), N> result;
    for (size_t n = 0; n < N; ++n)
        result.part[n] = f(PartOf(a, n), PartOf(b, n));
    return result;
}

template <typename A, typename B>
concept BundleOperands = kIsBundle<A> || kIsBundle<B>;

template <typename A, typename B> requires BundleOperands<A, B>
auto operator+(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x + y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator-(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x - y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator*(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x * y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator&(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x & y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator|(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x | y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator<<(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x << y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator>>(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x >> y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator<(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x < y; }); }
template <typename A, typename B> requires BundleOperands<A, B>
auto operator==(const A& a, const B& b) { return Combine(a, b, [](const auto& x, const auto& y) { return x == y; }); }

// Where mask, a; elsewhere b.
template <size_t N>
Bundle<Pair, N> Select(const Bundle<Mask, N>& mask, const Bundle<Pair, N>& a, const Bundle<Pair, N>& b)
{
    Bundle<Pair, N> result;
    for (size_t n = 0; n < N; ++n)
        result.part[n] = mask.part[n] ? a.part[n] : b.part[n];
    return result;
}

template <typename To, typename From, size_t N>
Bundle<To, N> BitCast(const Bundle<From, N>& from)
{
    Bundle<To, N> result;
    for (size_t n = 0; n < N; ++n)
        result.part[n] = std::bit_cast<To>(from.part[n]);
    return result;
}

// The same value in every lane.
template <size_t N>
Bundle<Pair, N> Uniform(double value)
{
    Bundle<Pair, N> result;
    result.part.fill(Pair{value, value});
    return result;
}

// table[index] of each lane.
template <size_t N, typename Lookup>
Bundle<Pair, N> Gather(const Bundle<Bits, N>& index, Lookup lookup)
{
    Bundle<Pair, N> result;
    for (size_t n = 0; n < N; ++n)
        result.part[n] = Pair{lookup(index.part[n][0]), lookup(index.part[n][1])};
    return result;
}

// ln x for x ≥ 2^-1022, finite.
template <size_t N>
[[gnu::always_inline]] inline Bundle<Pair, N> Log(const Bundle<Pair, N>& x)
{
    // x = 2^k · m with m in [1, 2), and m = c · (1 + r) with c the nearest table point.
    const Bundle<Bits, N> bits = BitCast<Bits>(x);
    const auto k = BitCast<Pair>((bits >> 52) | std::bit_cast<uint64_t>(0x1p52)) - (0x1p52 + 1023);
    const auto m = BitCast<Pair>((bits & 0x000FFFFFFFFFFFFFu) | 0x3FF0000000000000u);
    const Bundle<Bits, N> j = (bits >> 45) & uint64_t{kLogPoints - 1};
    const auto r = m * Gather(j, [](uint64_t i) { return kLogTable[i].inverse; }) - 1.0;

    // ln(1 + r) with |r| < 1/256 to r⁷, in a tree rather than one chain, so that the powers
    // of consecutive frames overlap in the processor.
    const auto r2 = r * r;
    const auto r4 = r2 * r2;
    const auto high = (1.0 / 3 - 1.0 / 4 * r) + (1.0 / 5 - 1.0 / 6 * r) * r2 + 1.0 / 7 * r4;
    const auto lnOnePlusR = r - 0.5 * r2 + r * r2 * high;
    return (k * kLn2High + Gather(j, [](uint64_t i) { return kLogTable[i].log; })) + (k * kLn2Low + lnOnePlusR);
}

// e^y for y from −708 (below which it gives 0) to 709.
template <size_t N>
[[gnu::always_inline]] inline Bundle<Pair, N> Exp(const Bundle<Pair, N>& exponent)
{
    const Bundle<Mask, N> underflow = exponent < -708.0;
    const Bundle<Pair, N> y = Select(underflow, Uniform<N>(-708.0), exponent);

    // y = (64 · e + j) · ln 2 / 64 + t with |t| ≤ ln 2 / 128. Adding 1.5 · 2^52 rounds the
    // multiple of ln 2 / 64 to a whole number n held in the low bits; 64 · 1023 more makes
    // them n + 64 · 1023, which splits into the biased binary exponent and j by shifting.
    constexpr double kRound = 0x1.8p52 + kExpSteps * 1023;
    const auto shifted = y * (kExpSteps / 0x1.62e42fefa39efp-1) + kRound;
    const auto n = shifted - kRound;
    const auto t = (y - n * (kLn2High / kExpSteps)) - n * (kLn2Low / kExpSteps);
    const Bundle<Bits, N> biased = BitCast<Bits>(shifted) - std::bit_cast<uint64_t>(0x1.8p52);
    const Bundle<Bits, N> j = biased & uint64_t{kExpSteps - 1};
    const auto scale = BitCast<Pair>((biased >> 6) << 52) * Gather(j, [](uint64_t i) { return kExpTable[i]; });

    // e^t to t⁵.
    const auto t2 = t * t;
    const auto p = (1.0 + t) + t2 * ((0.5 + 1.0 / 6 * t) + t2 * (1.0 / 24 + 1.0 / 120 * t));
    return Select(underflow, Uniform<N>(0.0), scale * p);
}

// base ^ exponent in each lane, as Power below.
template <size_t N>
[[gnu::always_inline]] inline Bundle<Pair, N> Raise(const Bundle<Pair, N>& base, const Bundle<Pair, N>& exponent)
{
    const Bundle<Mask, N> zeroBase = base == 0.0;
    const Bundle<Pair, N> normal = Select(base < 0x1p-1022, Uniform<N>(0x1p-1022), base);
    const Bundle<Pair, N> raised = Exp(exponent * Log(normal));
    const Bundle<Mask, N> one = (base == 1.0) | (exponent == 0.0);
    return Select(one, Uniform<N>(1.0), Select(zeroBase, Uniform<N>(0.0), raised));
}

} // namespace power_detail

// base ^ exponent in each lane, for a base of 0 or more and a positive base with any exponent
// the gain laws use. Exactly 1 where the base is 1 or the exponent 0, and 0 where the base is
// 0 and the exponent positive. Bases below the smallest normal number count as that number.
inline Pair Power(Pair base, Pair exponent)
{
    using power_detail::Bundle;
    return power_detail::Raise(Bundle<Pair, 1>{{base}}, Bundle<Pair, 1>{{exponent}}).part[0];
}

// Two powers of two lanes each, a = a ^ exponentA and b = b ^ exponentB, computed side by side
// so that the processor works on both at once. Each lane's result is the one Power gives.
inline void Power(Pair& a, Pair exponentA, Pair& b, Pair exponentB)
{
    using power_detail::Bundle;
    const Bundle<Pair, 2> result = power_detail::Raise(Bundle<Pair, 2>{{a, b}}, Bundle<Pair, 2>{{exponentA, exponentB}});
    a = result.part[0];
    b = result.part[1];
}

} // namespace qex::dsp
