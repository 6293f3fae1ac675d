// The dynamics blocks on their own interfaces: gated AGC, band gain computer, multiband
// processor, dual band and stereo expander, with the default preset's derived values.

#include "dsp/conversions.h"
#include "dsp/dual_band_processor.h"
#include "dsp/gated_agc.h"
#include "dsp/lookahead_delay.h"
#include "dsp/multiband_processor.h"
#include "dsp/stereo_expander.h"
#include "module_test_support.h"
#include "parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace qex::dsp {
namespace {

double Sine(double hz, int n, double amplitude)
{
    return amplitude * std::sin(2 * std::numbers::pi * hz * n / 44100.0);
}

// A single frame as a chunk.
Frames One(Frame& frame)
{
    return {&frame, 1};
}

// The default parameter set with its derived values, as the signal path would see them.
struct Defaults {
    Defaults()
    {
        DeriveSectionCoefficients(set, path->Gains.Records);
        Refresh();
        path->Gains.ResetStates();
    }
    // After changing set: every derived value again.
    void Refresh()
    {
        DeriveGlobalValues(set, *path);
        DeriveBandOutputGains(set, path->Settings);
        DeriveSectionCoefficients(set, path->Gains.Records);
    }
    GlobalParams& global() { return set.Global; }
    ProcessingSettings& settings() { return path->Settings; }
    BandGainComputer& gains() { return path->Gains; }

    // One frame through the AGC.
    void Agc(GatedAgc& agc, Frame& frame, double peak, bool bypassAll = false)
    {
        bool gated = false;
        agc.Process(One(frame), std::span(&peak, 1), std::span(&gated, 1), global(), settings(), bypassAll, meters);
    }
    // One frame through the band gain computer, bands first..last at the given levels.
    void Compute(int first, int last, const BandGainComputer::BandValues& levels, bool gated = false)
    {
        BandGainComputer::BandValues computed{};
        gains().Compute(first, last, std::span(&levels, 1), std::span(&gated, 1), std::span(&computed, 1), global(),
                        settings());
    }

    ParameterSet set = DefaultParameterSet();
    std::unique_ptr<SignalPath> path = std::make_unique<SignalPath>(set);
    MeterValues meters;
};

TEST(GatedAgc, GainStopsAtTheMaximumGain)
{
    Defaults d;
    GatedAgc agc;
    agc.ResetEnvelopes();
    // A quiet square wave that stays above the gate level (327 at −40 dB).
    for (int n = 0; n < 44100; ++n) {
        const double x = (n / 22) % 2 ? 600.0 : -600.0;
        Frame frame{x, x};
        d.Agc(agc, frame, 600.0);
        ASSERT_LE(d.meters.AgcMasterGain.get(), 16384.0 / 921);
    }
    EXPECT_EQ(d.meters.Gated.get(), 0);
    EXPECT_EQ(d.meters.AgcMasterGain.get(), 16384.0 / 921);
    EXPECT_EQ(d.meters.AgcBassGain.get(), 16384.0 / 921);
}

TEST(GatedAgc, GateFreezesTheGainUntilTheLevelRises)
{
    Defaults d;
    GatedAgc agc;
    agc.ResetEnvelopes();
    const auto run = [&](int frames, double amplitude) {
        for (int n = 0; n < frames; ++n) {
            const double x = Sine(1000, n, amplitude);
            Frame frame{x, x};
            d.Agc(agc, frame, std::fabs(x));
        }
    };
    run(44100, 8000);
    const double before = d.meters.AgcMasterGain.get();
    run(44100, 200); // below the gate level throughout
    EXPECT_EQ(d.meters.Gated.get(), 1);
    EXPECT_NEAR(d.meters.AgcMasterGain.get() / before, 1.0, 0.01);
    // Within the first loud cycle the level passes the frozen envelope and opens the gate.
    bool opened = false;
    for (int n = 0; n < 44 && !opened; ++n) {
        const double x = Sine(1000, n, 8000);
        Frame frame{x, x};
        d.Agc(agc, frame, std::fabs(x));
        opened = d.meters.Gated.get() == 0;
    }
    EXPECT_TRUE(opened);
}

TEST(GatedAgc, RecombinationIsFlatWithEqualGains)
{
    // With the gains pinned at the ceiling and a 50 % mix, every frequency leaves at
    // 0.5 × gain × its input amplitude.
    for (const double hz : {40.0, 150.0, 1000.0, 10000.0}) {
        Defaults d;
        GatedAgc agc;
        agc.ResetEnvelopes();
        const double g = 16384.0 / 921;
        const double db = test::GainDb(
            [&](double x) {
                Frame frame{x, x};
                d.Agc(agc, frame, 1000.0);
                return frame.L;
            },
            hz, 50.0);
        EXPECT_NEAR(db, 20 * std::log10(0.5 * g), 0.01) << hz;
    }
}

TEST(GatedAgc, OffScalesByAFixedFactorWhileTheMetersRun)
{
    Defaults d;
    d.global().AgcOn.set(0);
    GatedAgc agc;
    agc.ResetEnvelopes();
    for (int n = 0; n < 1000; ++n) {
        const double x = Sine(300, n, 5000);
        Frame frame{x, -x};
        d.Agc(agc, frame, std::fabs(x));
        ASSERT_EQ(frame.L, x * 0.63);
        ASSERT_EQ(frame.R, -x * 0.63);
    }
    EXPECT_GT(d.meters.AgcMasterGain.get(), 0.0);
}

TEST(GatedAgc, BypassLeavesTheFrameAndClearsTheMeters)
{
    Defaults d;
    GatedAgc agc;
    agc.ResetEnvelopes();
    Frame frame{1234.5, -321.0};
    d.Agc(agc, frame, 1234.5, true);
    EXPECT_EQ(frame.L, 1234.5);
    EXPECT_EQ(frame.R, -321.0);
    EXPECT_EQ(d.meters.AgcMasterGain.get(), 0.0);
    EXPECT_EQ(d.meters.AgcBassGain.get(), 0.0);
}

TEST(BandGainComputer, HoldAndSlowerReattackOfTheCompressor)
{
    Defaults d; // HoldMs 20: 882 samples of hold, 176 after a re-attack
    BandGainComputer& gains = d.gains();
    SectionRecord& c = gains.record(0, Compressor);
    const auto step = [&](double level) {
        d.Compute(0, 0, {level});
        return c.envelope;
    };
    for (int n = 0; n < 1000; ++n) // past the hold of the first attack from 0
        step(1000);
    const double threshold = c.threshold.get();
    ASSERT_EQ(c.envelope, threshold);

    const double attack = c.attack1.get();
    const double first = step(30000);
    EXPECT_NEAR((30000 - first) / (30000 - threshold), attack, 1e-12);
    const double second = step(30000);
    EXPECT_NEAR((30000 - second) / (30000 - first), 1 - (1 - attack) * 0.2, 1e-12);
    double held = 0;
    for (int n = 0; n < 20; ++n)
        held = step(30000);

    // The level stops rising: the envelope stands for 176 frames, then releases.
    for (int n = 0; n < 176; ++n)
        ASSERT_EQ(step(0), held) << n;
    EXPECT_LT(step(0), held);
}

TEST(BandGainComputer, WithoutHoldEveryAttackUsesTheFastFactor)
{
    Defaults d;
    d.global().HoldMs.set(0);
    d.Refresh();
    BandGainComputer& gains = d.gains();
    SectionRecord& c = gains.record(0, Compressor);
    d.Compute(0, 0, {1000});
    double previous = c.envelope;
    for (int n = 0; n < 5; ++n) {
        d.Compute(0, 0, {30000});
        EXPECT_NEAR((30000 - c.envelope) / (30000 - previous), c.attack1.get(), 1e-12);
        previous = c.envelope;
    }
    d.Compute(0, 0, {0});
    EXPECT_LT(c.envelope, previous);
}

TEST(BandGainComputer, RatioOneGivesUnityGain)
{
    Defaults d;
    d.global().ExpanderOn.set(1);
    for (int band = 0; band < kBandCount; ++band) {
        d.set.record(band, Compressor).Ratio.set(10);
        d.set.record(band, Expander).Ratio.set(10);
    }
    d.Refresh();
    BandGainComputer& gains = d.gains();
    for (int n = 0; n < 5000; ++n) {
        BandGainComputer::BandValues levels;
        for (int band = 0; band < kBandCount; ++band)
            levels[band] = std::fabs(Sine(50 + 30 * band, n, 40000));
        d.Compute(0, kBandCount - 1, levels);
        for (int band = 0; band < kBandCount; ++band)
            ASSERT_EQ(gains.BandGain[band].get(), 1.0) << band;
    }
}

TEST(BandGainComputer, CompressesAboveTheThresholdByTheRatio)
{
    Defaults d; // band 2: threshold −6.0 dB (16422), ratio 4.0
    BandGainComputer& gains = d.gains();
    for (int n = 0; n < 200000; ++n)
        d.Compute(2, 2, {0, 0, 32000});
    const double threshold = gains.record(2, Compressor).threshold.get();
    const double expected = std::pow(32000 / threshold, 1 / 4.0 - 1);
    EXPECT_NEAR(gains.BandGain[2].get(), expected, 1e-4);
    EXPECT_NEAR(32000 * gains.BandGain[2].get(), threshold * std::pow(32000 / threshold, 0.25), 2.0);
    // Both envelopes have settled on the level: the slow envelope's meter shows the same gain.
    EXPECT_NEAR(gains.SlowGain[2].get(), expected, 1e-4);
}

TEST(BandGainComputer, SlowGainMeterShowsTheCompressorsLastRun)
{
    Defaults d;
    BandGainComputer& gains = d.gains();
    const auto slowGain = [&] { return gains.SlowGain[3].get(); };
    EXPECT_EQ(slowGain(), 0.0); // never run

    for (int n = 0; n < 20000; ++n)
        d.Compute(3, 3, {0, 0, 0, 30000});
    const SectionRecord& c = gains.record(3, Compressor);
    const double shown = slowGain();
    const double expected = std::pow(gains.SlowEnvelope[3] / c.threshold.get(), c.exponent.get());
    EXPECT_NEAR(shown, expected, expected * 1e-12);
    EXPECT_LT(shown, 0.9);

    // A new ratio, the compressor switched off, a reset: none of them moves the meter until
    // the compressor runs again.
    d.set.record(3, Compressor).Ratio.set(100);
    d.Refresh();
    EXPECT_EQ(slowGain(), shown);
    d.global().CompressorOn.set(0);
    for (int n = 0; n < 100; ++n)
        d.Compute(3, 3, {0, 0, 0, 1000});
    EXPECT_EQ(slowGain(), shown);
    gains.ResetStates();
    EXPECT_EQ(slowGain(), shown);
    d.global().CompressorOn.set(1);
    d.Compute(3, 3, {0, 0, 0, 1000});
    EXPECT_EQ(slowGain(), 1.0); // lifted to the threshold from 0
}

TEST(BandGainComputer, LimiterFollowsWhileOffAndLimitsAtOnce)
{
    Defaults d;
    d.global().CompressorOn.set(0);
    BandGainComputer& gains = d.gains();
    for (int n = 0; n < 5000; ++n)
        d.Compute(1, 1, {0, 30000});
    EXPECT_EQ(gains.BandGain[1].get(), 1.0);
    d.global().LimiterOn.set(1);
    d.Compute(1, 1, {0, 30000});
    const SectionRecord& limiter = gains.record(1, Limiter);
    EXPECT_NEAR(gains.BandGain[1].get(), limiter.threshold.get() / 30000, 1e-3);
}

TEST(BandGainComputer, MutedDualBandHasMinus120Decibels)
{
    Defaults d;
    d.settings().BandMute[kBandLF].set(1);
    BandGainComputer& gains = d.gains();
    d.Compute(kBandHF, kBandLF, {0, 0, 0, 0, 0, 20000, 20000});
    EXPECT_EQ(gains.BandGain[kBandLF].get(), 0.000001);
    EXPECT_GT(gains.BandGain[kBandHF].get(), 0.5);
}

// The multiband processor alone, at a level below every threshold so that its gains are 1.
struct Multiband {
    explicit Multiband(int lookaheadMs = 10)
    {
        d.global().LookaheadMs.set(lookaheadMs);
        for (int band = 0; band < kMultibandCount; ++band)
            d.set.record(band, Compressor).BandGainTenthDb.set(0);
        d.Refresh();
    }
    Frame Process(Frame frame)
    {
        const bool gated = false;
        int row;
        multiband.Process(One(frame), std::span(&gated, 1), std::span(&row, 1), d.global(), d.settings(), false,
                          d.gains(), *delay, d.meters);
        return frame;
    }
    Defaults d;
    MultibandProcessor multiband;
    std::unique_ptr<LookaheadDelay> delay = std::make_unique<LookaheadDelay>();
};

TEST(MultibandProcessor, BandsSumToANearlyFlatResponse)
{
    const auto gain = [](double hz, bool fourBands) {
        Multiband m;
        if (fourBands)
            m.d.global().Flags.set(m.d.global().Flags.get() | Flag::FourBands);
        // A tenth of a second holds whole periods of every frequency below.
        return test::GainDb([&](double x) { return m.Process({x, x}).L; }, hz, 1000.0, 8000, 4410);
    };
    const double inputScaleDb = 20 * std::log10(0.8);
    for (const double hz : {20.0, 60.0, 150.0, 250.0, 1000.0, 3000.0, 6000.0, 9000.0, 12000.0}) {
        EXPECT_GE(gain(hz, false) - inputScaleDb, 1.0) << hz;
        EXPECT_LE(gain(hz, false) - inputScaleDb, 3.4) << hz;
        EXPECT_GE(gain(hz, true) - inputScaleDb, -0.6) << hz;
        EXPECT_LE(gain(hz, true) - inputScaleDb, 3.2) << hz;
    }
    EXPECT_NEAR(gain(16000, false) - inputScaleDb, -3.2, 0.4);
    EXPECT_LT(gain(20000, false) - inputScaleDb, -25.0);
}

TEST(MultibandProcessor, FourBandModeSilencesTheFifthBand)
{
    Multiband m;
    m.d.global().Flags.set(m.d.global().Flags.get() | Flag::FourBands);
    for (int n = 0; n < 2000; ++n) {
        m.Process({Sine(12000, n, 20000), Sine(15000, n, 20000)});
        ASSERT_EQ(m.d.gains().BandLevel[4], 0.0);
    }
}

TEST(MultibandProcessor, MutedBandVanishesFromTheSum)
{
    const auto gain = [](bool mute) {
        Multiband m;
        m.d.settings().BandMute[2].set(mute ? 1 : 0);
        return test::GainDb([&](double x) { return m.Process({x, x}).L; }, 3000, 1000.0);
    };
    // At 3 kHz band 3 carries nearly all of the signal; the neighbours' skirts remain.
    EXPECT_LT(gain(true), gain(false) - 12.0);
}

TEST(MultibandProcessor, EfficiencyBlendsTheGainsTowardUnity)
{
    for (const int efficiency : {0, 100}) {
        Multiband m;
        m.d.global().MultibandEfficiencyPct.set(efficiency);
        for (auto link : {&GlobalParams::BandLink12Pct, &GlobalParams::BandLink32Pct, &GlobalParams::BandLink43Pct,
                          &GlobalParams::BandLink54Pct})
            (m.d.global().*link).set(0);
        m.d.Refresh();
        m.d.settings().BandMute[4].set(1);
        BandGainComputer& gains = m.d.gains();
        for (int n = 0; n < 3000; ++n) {
            m.Process({Sine(100, n, 32000) + Sine(2500, n, 32000), Sine(700, n, 32000)});
            for (int band = 0; band < 4; ++band) {
                // With the links at 0 % the linked gain is the computed one, up to the rounding
                // of the link's percent arithmetic.
                const double computed = gains.record(band, Compressor).gain.get();
                if (efficiency == 0) {
                    ASSERT_EQ(gains.BandGain[band].get(), 1.0) << band;
                } else {
                    ASSERT_DOUBLE_EQ(gains.BandGain[band].get(), computed) << band;
                }
            }
            ASSERT_EQ(gains.BandGain[4].get(), 0.000001);
        }
        if (efficiency == 100) {
            EXPECT_LT(gains.BandGain[1].get(), 0.9);
        }
    }
}

TEST(MultibandProcessor, EfficiencyPairIsSplitInSinglePrecision)
{
    // 1 − a is taken from the single-precision a, not from the percent: from 50 % up that
    // difference is exact, so a band at unity gain stays at exactly 1.
    for (int efficiency = 0; efficiency <= 100; ++efficiency) {
        Defaults d;
        d.global().MultibandEfficiencyPct.set(efficiency);
        d.Refresh();
        const float a = d.settings().Efficiency.get();
        EXPECT_EQ(a, static_cast<float>(efficiency * 0.01)) << efficiency;
        EXPECT_EQ(d.settings().OneMinusEfficiency.get(), 1 - a) << efficiency;
    }
    for (const int efficiency : {52, 60, 77, 99}) {
        Multiband m;
        m.d.global().MultibandEfficiencyPct.set(efficiency);
        m.d.Refresh();
        for (int n = 0; n < 500; ++n) {
            m.Process({Sine(700, n, 3000), Sine(2500, n, 3000)});
            for (int band = 0; band < kMultibandCount; ++band)
                ASSERT_EQ(m.d.gains().BandGain[band].get(), 1.0) << efficiency << " " << band;
        }
    }
}

TEST(MultibandProcessor, LookaheadDelaysTheBandsByItsLengthPlusOne)
{
    // The same input with look-ahead 0 and longer: the outputs are the same, the longer one
    // later by its length, and the 0 ms output itself lags the bank by one frame. Beyond the
    // panel's 100 ms (hand-edited presets) the length is exact up to the delay line's 5000
    // rows (113 ms) and held there above.
    struct Case {
        int ms, length;
    };
    for (const Case c : {Case{100, 4410}, Case{113, 4983}, Case{114, 4999}, Case{100000, 4999}}) {
        SCOPED_TRACE(c.ms);
        Multiband shortest(0), longer(c.ms);
        std::vector<double> a, b;
        for (int n = 0; n < 6000; ++n) {
            const Frame in{Sine(440, n, 30000) * (n < 3000 ? 1.0 : 0.2), Sine(90, n, 20000)};
            a.push_back(shortest.Process(in).L);
            b.push_back(longer.Process(in).L);
        }
        for (int n = 0; n < c.length; ++n)
            ASSERT_EQ(b[n], 0.0) << n;
        for (int n = 0; n + c.length < 6000; ++n)
            ASSERT_EQ(b[n + c.length], a[n]) << n;
        // The input starts at frame 1 (a sine from phase 0) and leaves one frame later.
        const auto firstSound = std::find_if(a.begin(), a.end(), [](double v) { return v != 0.0; });
        EXPECT_EQ(firstSound - a.begin(), 2);
    }
}

TEST(DualBandProcessor, RecombinesFlatWithEqualGainsAndScalesByTheDrive)
{
    const auto gain = [](double hz, int drive) {
        Defaults d;
        d.global().ClipDrivePct.set(drive);
        d.global().NoClipper.set(1);
        d.Refresh();
        DualBandProcessor dual;
        auto delay = std::make_unique<LookaheadDelay>();
        return test::GainDb(
            [&](double x) {
                Frame frame{x, x};
                const double offset = 0.0;
                const bool gated = false;
                const int row = delay->Index();
                dual.Process(One(frame), std::span(&offset, 1), std::span(&gated, 1), std::span(&row, 1), d.global(),
                             d.settings(), d.gains(), *delay, d.meters);
                return frame.L;
            },
            hz, 1000.0);
    };
    EXPECT_NEAR(gain(100, 100), 0.0, 0.05);
    EXPECT_NEAR(gain(6000, 100), 3.0, 0.1);
    EXPECT_NEAR(gain(100, 40), 20 * std::log10(0.4), 0.05);
}

TEST(StereoExpander, MonoInputIsNotWidened)
{
    StereoExpander expander;
    for (int n = 0; n < 5000; ++n) {
        const double x = Sine(500, n, 20000);
        Frame frame{x, x};
        EXPECT_EQ(expander.Process(One(frame), 882, true, 100), 0.0);
        ASSERT_EQ(frame.L, x);
        ASSERT_EQ(frame.R, x);
    }
}

TEST(StereoExpander, SideSignalIsDelayedByTheDepth)
{
    for (const int length : {0, 882}) {
        StereoExpander expander;
        int firstChange = -1;
        for (int n = 0; n < 1000 && firstChange < 0; ++n) {
            Frame frame{0.0, n == 0 ? 1000.0 : 0.0};
            const Frame in = frame;
            expander.Process(One(frame), length, true, 100);
            if (frame.L != in.L)
                firstChange = n;
        }
        EXPECT_EQ(firstChange, length + 1);
    }
}

} // namespace
} // namespace qex::dsp
