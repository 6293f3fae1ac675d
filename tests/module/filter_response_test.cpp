// Frequency responses of the fixed and designed filters, measured by driving them with sines.

#include "dsp/am_filter.h"
#include "dsp/bass_equaliser.h"
#include "dsp/emphasis.h"
#include "dsp/input_stage.h"
#include "dsp/output_lowpass.h"
#include "dsp/output_stage.h"
#include "dsp/soft_clip.h"
#include "dsp/two_band_clipper.h"
#include "module_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace qex::dsp {
namespace {

using test::GainDb;

// A single frame as a chunk.
Frames One(Frame& frame)
{
    return {&frame, 1};
}

// One channel of a stereo block, driven through a frame whose other channel is silent.
template <typename Block, typename... Args>
auto LeftChannelOf(Block& block, Args... args)
{
    return [&block, args...](double x) {
        Frame frame{x, 0.0};
        block.Process(One(frame), args...);
        return frame.L;
    };
}

TEST(InputLowpass, PassesToFifteenKilohertzAndStopsAboveIt)
{
    const auto gain = [](double hz) {
        InputStage stage;
        return GainDb(
            [&stage](double x) {
                Frame frame{x, x};
                stage.Lowpass15k(One(frame));
                return frame.L;
            },
            hz);
    };
    for (const double hz : {100.0, 1000.0, 5000.0, 10000.0, 14000.0, 14800.0, 15000.0}) {
        EXPECT_LE(gain(hz), 0.05) << hz;
        EXPECT_GE(gain(hz), -1.05) << hz;
    }
    EXPECT_NEAR(gain(15100), -3.0, 0.3);
    for (const double hz : {15500.0, 16000.0, 18000.0, 20000.0, 22000.0})
        EXPECT_LE(gain(hz), -20.0) << hz;
}

TEST(PhaseRotator, UnityAtDcAndSlightlyLessAtHalfTheSampleRate)
{
    // Three sections, each 1 at DC and 0.9487 at half the sample rate; 1.0 is added after them.
    const auto settled = [](double (*input)(int)) {
        InputStage stage;
        Frame frame;
        for (int n = 0; n < 2000; ++n) {
            frame = {input(n), input(n)};
            stage.RotatePhase(One(frame));
        }
        return frame.L;
    };
    EXPECT_NEAR(settled([](int) { return 1000.0; }), 1001.0, 1e-9);
    const double nyquist = settled([](int n) { return n % 2 ? -1000.0 : 1000.0; }) - 1.0;
    EXPECT_NEAR(std::fabs(nyquist) / 1000, std::pow(1 - 0.1 / 1.95, 3), 1e-9);
    EXPECT_NEAR(1 - 0.1 / 1.95, 0.9487, 1e-4);
}

TEST(BassEqualiser, PeakingSixDecibelsAtSixtyFiveHertz)
{
    BassEqualiser eq;
    eq.Design(6, 65, false, false);
    const Biquad::Coefficients c = eq.Coefficients();
    EXPECT_NEAR(c.b0, 1.005753, 5e-7);
    EXPECT_NEAR(c.b1, -1.988353, 5e-7);
    EXPECT_NEAR(c.b2, 0.982685, 5e-7);
    EXPECT_NEAR(c.a1, -1.988353, 5e-7);
    EXPECT_NEAR(c.a2, 0.988439, 5e-7);

    const auto gain = [](double hz) {
        BassEqualiser eq;
        eq.Design(6, 65, false, false);
        return GainDb(LeftChannelOf(eq, false), hz, 1000.0, 44100, 88200);
    };
    EXPECT_NEAR(gain(65), 6.0, 0.05);
    EXPECT_NEAR(gain(44.6), 5.0, 0.15);
    EXPECT_NEAR(gain(94.6), 5.0, 0.15);
    EXPECT_NEAR(gain(500), 0.33, 0.05);
}

TEST(BassEqualiser, ShelfSixDecibelsAtSixtyFiveHertz)
{
    const auto gain = [](double hz) {
        BassEqualiser eq;
        eq.Design(6, 65, true, false);
        return GainDb(LeftChannelOf(eq, false), hz, 1000.0, 44100, 88200);
    };
    EXPECT_NEAR(gain(20), 5.9, 0.1);
    EXPECT_NEAR(gain(65), 5.0, 0.1);
    EXPECT_NEAR(gain(500), 0.5, 0.1);
    EXPECT_NEAR(gain(15000), 0.0, 0.05);
}

TEST(BassEqualiser, HighQCascadesFourSectionsOfAThird)
{
    const auto gain = [](int boost, int hz) {
        BassEqualiser eq;
        eq.Design(boost, hz, false, true);
        return GainDb(LeftChannelOf(eq, true), hz, 1000.0, 88200, 88200);
    };
    EXPECT_NEAR(gain(12, 100), 16.0, 0.1);
    EXPECT_NEAR(gain(7, 80), 8.0, 0.1);
    EXPECT_NEAR(gain(8, 80), 8.0, 0.1);
}

TEST(BassEqualiser, ChangingTheFilterTypeClearsTheFirstSection)
{
    // Two equalisers with the same history; switching type on one must restart its section 1,
    // so it then matches an equaliser that never ran.
    BassEqualiser switched, fresh;
    switched.Design(9, 65, false, false);
    for (int n = 0; n < 500; ++n) {
        Frame frame{5000.0 * ((n / 50) % 2 ? 1 : -1), 0.0};
        switched.Process(One(frame), false);
    }
    switched.Design(9, 65, true, false);
    fresh.Design(9, 65, true, false);
    for (int n = 0; n < 100; ++n) {
        Frame a{1000.0 * n, 0.0}, b{1000.0 * n, 0.0};
        switched.Process(One(a), false);
        fresh.Process(One(b), false);
        ASSERT_EQ(a.L, b.L) << n;
    }
}

TEST(BassEqualiser, ChangingTheFilterTypeWithHighQKeepsSectionsTwoToFour)
{
    // After a change of type, silence in: section 1 alone (without High Q) is silent at once,
    // while the cascade still rings from the states that sections 2 to 4 kept.
    const auto afterSwitch = [](bool highQ) {
        BassEqualiser eq;
        eq.Design(12, 65, false, true);
        for (int n = 0; n < 500; ++n) {
            Frame frame{5000.0 * ((n / 50) % 2 ? 1 : -1), 0.0};
            eq.Process(One(frame), true);
        }
        eq.Design(12, 65, true, true);
        double largest = 0;
        for (int n = 0; n < 10; ++n) {
            Frame frame{0.0, 0.0};
            eq.Process(One(frame), highQ);
            largest = std::max(largest, std::fabs(frame.L));
        }
        return largest;
    };
    EXPECT_EQ(afterSwitch(false), 0.0);
    EXPECT_GT(afterSwitch(true), 100.0);
}

TEST(TwoBandClipper, CrossoverSumsFlatWhenNotClipping)
{
    for (const double hz : {50.0, 500.0, 1500.0, 2007.0, 3000.0, 8000.0, 16000.0}) {
        TwoBandClipper clipper;
        EXPECT_NEAR(GainDb(LeftChannelOf(clipper, false, 30000, 30000), hz), 0.0, 0.01) << hz;
    }
}

TEST(TwoBandClipper, ClippedBandsApproachTheClipLevelPlusTheKnee)
{
    TwoBandClipper clipper;
    double peak = 0;
    for (int n = 0; n < 44100; ++n) {
        Frame frame{40000 * std::sin(2 * 3.141592653589793 * 100 * n / 44100.0), 0.0};
        clipper.Process(One(frame), true, 10000, 10000);
        peak = std::max(peak, std::fabs(frame.L));
    }
    EXPECT_GT(peak, 10000.0);
    EXPECT_LT(peak, 10000.0 + 2148.0 + 600.0); // plus the overshoot of the second filtering
}

TEST(OutputLowpass, IntegerTapsFollowTheDesignTable)
{
    OutputLowpass lowpass;
    lowpass.BuildTaps();
    const std::array<int32_t, 14> firstHalf = {78,  219,  2,   -123, 173,   -104, -86,
                                               302, -369, 133, 428,  -1158, 1777, 5480};
    int sum = 0;
    for (int k = 0; k < OutputLowpass::kTaps; ++k) {
        EXPECT_EQ(lowpass.Taps()[k], firstHalf[k < 14 ? k : 26 - k]) << k;
        sum += lowpass.Taps()[k];
    }
    EXPECT_EQ(sum, 8024);
}

TEST(OutputLowpass, NotchesTheStereoPilot)
{
    const auto gain = [](double hz) {
        OutputLowpass lowpass;
        lowpass.BuildTaps();
        return GainDb(LeftChannelOf(lowpass), hz, 20000.0);
    };
    for (const double hz : {100.0, 1000.0, 5000.0, 10000.0, 15000.0}) {
        EXPECT_LE(gain(hz), -2.0) << hz;
        EXPECT_GE(gain(hz), -3.4) << hz;
    }
    EXPECT_NEAR(gain(16000), -8.6, 0.3);
    EXPECT_NEAR(gain(17000), -19.7, 0.3);
    for (const double hz : {18500.0, 19000.0, 19500.0})
        EXPECT_LE(gain(hz), -62.0) << hz;
}

TEST(OutputLowpass, LargeClipperOutputsDoNotWrapAround)
{
    // A high clip threshold with pre-emphasis drives the clipper's output to about 334 000;
    // a 32-bit sum of the taps' products would wrap into spikes of the opposite sign.
    OutputLowpass lowpass;
    lowpass.BuildTaps();
    for (int n = 0; n < 4000; ++n) {
        const double input = (n / 200) % 2 ? -334000.0 : 334000.0;
        Frame frame{input, -input};
        lowpass.Process(One(frame));
        if (n % 200 >= OutputLowpass::kTaps) {
            const double settled = static_cast<double>(int64_t{334000} * 8024 >> 13) * 0.8;
            ASSERT_NEAR(std::fabs(frame.L), settled, 1.0) << n;
            ASSERT_EQ(frame.L > 0, input > 0) << n;
            ASSERT_EQ(frame.R > 0, input < 0) << n;
        }
    }
}

TEST(OutputStage, SafetyClipAloneRunsUnderBypassAll)
{
    // Under BypassAll the safety clip still bends what lies beyond 32760, but neither the
    // output level nor the AM filter act; "No Clipper" skips the clip.
    const auto run = [](bool clip, bool bypassAll) {
        OutputStage stage;
        Frame frame{40000.0, -1000.0};
        stage.Process(One(frame), clip, bypassAll, 50, true);
        return frame;
    };
    const double clipped = SoftClip(Pair{40000.0, 0.0}, 32760)[0];
    EXPECT_LT(clipped, 32760.0 + ClipKnee);
    EXPECT_EQ(run(true, true).L, clipped);
    EXPECT_EQ(run(true, true).R, -1000.0);
    EXPECT_EQ(run(false, true).L, 40000.0);
    EXPECT_NE(run(true, false).L, clipped); // level and AM filter act without BypassAll
}

TEST(AmFilter, PassesSpeechBandAndStopsFromSixKilohertz)
{
    const auto gain = [](double hz) {
        AmFilter filter;
        return GainDb(LeftChannelOf(filter), hz, 10000.0, 44100, 44100);
    };
    const double outputFactorDb = 20 * std::log10(0.9);
    EXPECT_NEAR(gain(3000), -0.5, 0.1);
    // The cascade itself crosses −3 dB at about 4.52 kHz.
    EXPECT_GT(gain(4500) - outputFactorDb, -3.0);
    EXPECT_LT(gain(4530) - outputFactorDb, -3.0);
    for (const double hz : {100.0, 1000.0, 2000.0, 4000.0, 4400.0}) {
        EXPECT_LE(gain(hz), 0.2) << hz;
        EXPECT_GE(gain(hz), -2.0) << hz;
    }
    for (const double hz : {6000.0, 8000.0, 12000.0, 20000.0})
        EXPECT_LT(gain(hz), -90.0) << hz;
}

TEST(Emphasis, PreAndDeEmphasisTogetherLiftTheTreble)
{
    const auto gain = [](double hz) {
        PreEmphasis pre;
        DeEmphasis de;
        return GainDb(
            [&](double x) {
                Frame frame{x, 0.0};
                pre.Process(One(frame), false);
                de.Process(One(frame));
                return frame.L;
            },
            hz);
    };
    EXPECT_NEAR(gain(1000), 0.08, 0.03);
    EXPECT_NEAR(gain(10000), 1.4, 0.1);
    EXPECT_NEAR(gain(15000), 2.2, 0.1);
}

TEST(Emphasis, SeventyFiveMicrosecondsLiftsMoreThanFifty)
{
    const auto gain = [](double hz, bool use75us) {
        PreEmphasis pre;
        return GainDb(LeftChannelOf(pre, use75us), hz);
    };
    EXPECT_NEAR(gain(22000, true), 19.7, 0.1);
    EXPECT_NEAR(gain(22000, false), 16.1, 0.1);
    EXPECT_NEAR(gain(20, true), 20 * std::log10(0.998), 0.05);
    EXPECT_NEAR(gain(20, false), 20 * std::log10(1.016), 0.05);
}

} // namespace
} // namespace qex::dsp
