// The band gain computer's power function against std::pow, over the quotients and exponents
// that the gain laws meet.

#include "dsp/power.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qex::dsp {
namespace {

double PowerOf(double base, double exponent)
{
    return Power(Pair{base, base}, Pair{exponent, exponent})[0];
}

// Relative error far below what could move any output sample by one 16-bit step.
constexpr double kTolerance = 2e-14;

TEST(Power, CompressorQuotientsOverEveryRatio)
{
    // Envelope over threshold from 1 to 10^7 (the threshold can be as low as 1).
    for (int ratio = 10; ratio <= 100; ++ratio) {
        const double exponent = 10.0 / ratio - 1;
        for (double quotient = 1.0; quotient < 1e7; quotient *= 1.0007) {
            const double expected = std::pow(quotient, exponent);
            ASSERT_NEAR(PowerOf(quotient, exponent), expected, expected * kTolerance) << quotient << " " << ratio;
        }
    }
}

TEST(Power, ExpanderQuotientsOverEveryRatio)
{
    // Envelope over threshold from 1e-20 up to just below 1.
    for (int ratio = 10; ratio <= 100; ++ratio) {
        const double exponent = 1 - 10.0 / ratio;
        for (double quotient = 1e-20; quotient < 1.0; quotient *= 1.0011) {
            const double expected = std::pow(quotient, exponent);
            ASSERT_NEAR(PowerOf(quotient, exponent), expected, expected * kTolerance) << quotient << " " << ratio;
        }
    }
}

TEST(Power, UnityAndZeroAreExact)
{
    for (int ratio = 10; ratio <= 100; ++ratio) {
        EXPECT_EQ(PowerOf(1.0, 10.0 / ratio - 1), 1.0);
        EXPECT_EQ(PowerOf(1.0, 1 - 10.0 / ratio), 1.0);
    }
    for (const double quotient : {0.0, 1e-300, 0.37, 1.0, 2.5, 31000.0})
        EXPECT_EQ(PowerOf(quotient, 0.0), 1.0) << quotient;
    EXPECT_EQ(PowerOf(0.0, 0.6), 0.0);
    EXPECT_EQ(PowerOf(0.0, 0.9), 0.0);
}

TEST(Power, LanesAreIndependent)
{
    const Pair result = Power(Pair{4.0, 0.25}, Pair{-0.75, 0.5});
    EXPECT_NEAR(result[0], std::pow(4.0, -0.75), std::pow(4.0, -0.75) * kTolerance);
    EXPECT_NEAR(result[1], 0.5, 0.5 * kTolerance);
    EXPECT_EQ(Power(Pair{1.0, 7.0}, Pair{-0.5, 0.0})[0], 1.0);
    EXPECT_EQ(Power(Pair{1.0, 7.0}, Pair{-0.5, 0.0})[1], 1.0);
}

TEST(Power, TwoPairsSideBySideGiveWhatEachGivesAlone)
{
    for (double quotient = 1e-6; quotient < 1e6; quotient *= 1.37) {
        Pair a = {quotient, 1 / quotient}, b = {quotient * 3, 1.0};
        const Pair exponentA = {-0.75, 0.6}, exponentB = {0.9, -0.1};
        const Pair aloneA = Power(a, exponentA), aloneB = Power(b, exponentB);
        Power(a, exponentA, b, exponentB);
        for (const int lane : {0, 1}) {
            ASSERT_EQ(a[lane], aloneA[lane]) << quotient;
            ASSERT_EQ(b[lane], aloneB[lane]) << quotient;
        }
    }
}

} // namespace
} // namespace qex::dsp
