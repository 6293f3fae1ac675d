// The dynamics blocks on their own interfaces: gated AGC, band gain computer, multiband
// processor, dual band and stereo expander, with the default preset's derived values.

#include "dsp/conversions.h"
#include "dsp/dual_band_processor.h"
#include "dsp/gated_agc.h"
#include "dsp/lookahead_delay.h"
#include "dsp/multiband_processor.h"
#include "dsp/soft_clip.h"
#include "dsp/stereo_expander.h"
#include "module_test_support.h"
#include "parameters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

TEST(GatedAgc, BandLinkTiesTheBassGainToTheMasterGain)
{
    // Treble-heavy program: the master band is loud (low gain), the bass band quiet (high
    // gain). The link pulls the bass gain down to the master gain; the master gain
    // never moves with it.
    const auto run = [](int link) {
        Defaults d;
        d.global().AgcBandLinkPct.set(link);
        GatedAgc agc;
        agc.ResetEnvelopes();
        for (int n = 0; n < 44100; ++n) {
            const double x = Sine(3000, n, 20000) + Sine(40, n, 300);
            Frame frame{x, x};
            d.Agc(agc, frame, std::fabs(x));
        }
        return std::pair(d.meters.AgcBassGain.get(), d.meters.AgcMasterGain.get());
    };
    const auto [independent, master] = run(0);
    const auto [linked, sameMaster] = run(100);
    const auto [halfway, masterAgain] = run(50);
    EXPECT_EQ(sameMaster, master);
    EXPECT_EQ(masterAgain, master);
    EXPECT_LT(master, 1.0);
    EXPECT_GT(independent, 10 * master);
    EXPECT_DOUBLE_EQ(linked, master);
    EXPECT_DOUBLE_EQ(halfway, (independent + master) / 2);
}

TEST(GatedAgc, BassClipperHoldsTheBassBandBelowTheKnee)
{
    // A bass far above the bass clip level, with the mix (outside the panel's range) set so
    // that the output is the bass band alone: it stays below threshold + 2148 while the
    // unclipped band would be many times louder.
    Defaults d;
    d.global().BassClipThr.set(-100);
    d.global().MasterBassMixPct.set(0);
    d.Refresh();
    const double threshold = d.settings().BassClipLevel.get();
    GatedAgc agc;
    agc.ResetEnvelopes();
    double peak = 0;
    for (int n = 0; n < 44100; ++n) {
        const double x = Sine(40, n, 30000);
        Frame frame{x, -x};
        d.Agc(agc, frame, std::fabs(x));
        peak = std::max({peak, std::fabs(frame.L), std::fabs(frame.R)});
    }
    EXPECT_GT(peak, threshold);
    EXPECT_LT(peak, threshold + ClipKnee);
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

// The compressor's two envelopes of band 0 after a loud passage, and the factor of the next
// frame's step toward level x: (x − new) / (x − old).
struct ReleaseStep {
    explicit ReleaseStep(Defaults& d) : d(d)
    {
        d.global().HoldMs.set(0);
        d.Refresh();
        for (int n = 0; n < 30000; ++n)
            d.Compute(0, 0, {30000});
    }
    double Fast(double x, bool gated)
    {
        const double old = d.gains().record(0, Compressor).envelope;
        d.Compute(0, 0, {x}, gated);
        return (x - d.gains().record(0, Compressor).envelope) / (x - old);
    }
    double Slow(double x)
    {
        const double old = d.gains().SlowEnvelope[0];
        d.Compute(0, 0, {x});
        return (x - d.gains().SlowEnvelope[0]) / (x - old);
    }
    Defaults& d;
};

TEST(BandGainComputer, FastEnvelopeFreezesWhileGated)
{
    Defaults d; // gate level 327 (−40 dB)
    ReleaseStep step(d);
    const double release = d.gains().record(0, Compressor).release1.get();
    // The AGC's gate decides: its own level above the gate level does not matter.
    EXPECT_NEAR(step.Fast(20000, true), 0.9999988, 1e-12);
    EXPECT_NEAR(step.Fast(20000, false), release, 1e-12);
    EXPECT_NEAR(step.Fast(100, false), release, 1e-12);

    // "Independent gate": only the band's own level counts.
    d.global().IndependentGate.set(1);
    EXPECT_NEAR(step.Fast(20000, true), release, 1e-12);
    EXPECT_NEAR(step.Fast(100, false), 0.9999988, 1e-12);
}

TEST(BandGainComputer, SlowEnvelopeHasItsOwnGateAndAttacksThroughIt)
{
    Defaults d;
    ReleaseStep step(d);
    const SectionRecord& c = d.gains().record(0, Compressor);
    // Always gated by the band's own level, whatever the AGC's gate and the switch say.
    EXPECT_NEAR(step.Slow(100), 0.9999988, 1e-12);
    EXPECT_NEAR(step.Slow(20000), c.release2.get(), 1e-12);

    // With the gate level at full scale every level is below it, yet a rise attacks.
    d.global().GateDb.set(0);
    d.Refresh();
    EXPECT_NEAR(step.Slow(1000), 0.9999988, 1e-12);
    EXPECT_NEAR(step.Slow(32000), c.attack2.get(), 1e-12);
}

TEST(BandGainComputer, ExpanderHoldsThenExpandsDownward)
{
    Defaults d; // band 0 expander: threshold −6 dB, ratio 2.5 (exponent 0.6), 500 frames of hold
    d.global().ExpanderOn.set(1);
    d.Refresh();
    BandGainComputer& gains = d.gains();
    const SectionRecord& e = gains.record(0, Expander);
    const auto settle = [&](double level) {
        for (int n = 0; n < 44100; ++n)
            d.Compute(0, 0, {level});
        return e.gain.get();
    };
    // Below the threshold the gain falls with the level: half the level, 0.6 × 6 dB less gain.
    const double at4000 = settle(4000), at2000 = settle(2000);
    EXPECT_NEAR(at4000, std::pow(4000 / e.threshold.get(), 0.6), 1e-6);
    EXPECT_NEAR(at2000 / at4000, std::pow(0.5, 0.6), 1e-6);
    EXPECT_NEAR(gains.BandGain[0].get(), at2000, 1e-12); // compressor and limiter at unity
    EXPECT_EQ(settle(20000), 1.0);

    // After a rise the envelope holds for 500 frames before it releases.
    const double held = e.envelope;
    for (int n = 0; n < 500; ++n) {
        d.Compute(0, 0, {1000});
        ASSERT_EQ(e.envelope, held) << n;
    }
    d.Compute(0, 0, {1000});
    EXPECT_LT(e.envelope, held);
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

TEST(MultibandProcessor, LinksRunFromBandTwoOutward)
{
    // A loud 500 Hz tone compresses band 2 alone; the others stay at unity. Band 1 links to
    // band 2, band 3 to band 2, band 4 to the linked band 3 and band 5 to the linked band 4,
    // so at 100 % band 2's gain reaches them all, and a link left at 0 % stops it there.
    const auto gains = [](int link43) {
        Multiband m;
        for (auto link : {&GlobalParams::BandLink12Pct, &GlobalParams::BandLink32Pct, &GlobalParams::BandLink54Pct})
            (m.d.global().*link).set(100);
        m.d.global().BandLink43Pct.set(link43);
        for (int n = 0; n < 4000; ++n)
            m.Process({Sine(500, n, 30000), Sine(500, n, 30000)});
        std::array<double, kMultibandCount> shown;
        for (int band = 0; band < kMultibandCount; ++band)
            shown[band] = m.d.gains().BandGain[band].get();
        return shown;
    };
    const auto chained = gains(100);
    EXPECT_LT(chained[1], 0.9);
    for (const int band : {0, 2, 3, 4})
        EXPECT_DOUBLE_EQ(chained[band], chained[1]) << band;
    const auto stopped = gains(0);
    EXPECT_DOUBLE_EQ(stopped[2], stopped[1]);
    EXPECT_EQ(stopped[3], 1.0);
    EXPECT_EQ(stopped[4], 1.0);
}

// Band 3 (index 2) of the multiband alone: the other bands' output gains are 0, so the sum
// holds band 3 only. No look-ahead: the band leaves one frame after it enters.
struct BandThree : Multiband {
    explicit BandThree(int bandGainTenthDb) : Multiband(0)
    {
        for (int band = 0; band < kMultibandCount; ++band)
            d.set.record(band, Compressor).BandGainTenthDb.set(band == 2 ? bandGainTenthDb : -1000);
        d.Refresh();
    }
    double Next(int n) { return Process({Sine(3000, n, 3000), Sine(3000, n, 3000)}).L; }
};

TEST(MultibandProcessor, BandGainOfTwelveDecibelsMultipliesTheBandByAbout3981)
{
    BandThree unity(0), boosted(120);
    int compared = 0;
    for (int n = 0; n < 3000; ++n) {
        const double a = unity.Next(n), b = boosted.Next(n);
        if (std::fabs(a) > 1.0) {
            ASSERT_NEAR(b / a, 130447.0 / 32767, 1e-9) << n;
            ++compared;
        }
    }
    EXPECT_GT(compared, 2000);
    EXPECT_NEAR(130447.0 / 32767, 3.981, 0.0005);
}

TEST(MultibandProcessor, MutedBandDecaysByATenthPerFrame)
{
    BandThree playing(0), muted(0);
    constexpr int kMuteAt = 2000;
    for (int n = 0; n < kMuteAt; ++n) {
        playing.Next(n);
        muted.Next(n);
    }
    muted.d.settings().BandMute[2].set(1);
    std::vector<double> ratio;
    for (int n = kMuteAt; n < kMuteAt + 200; ++n) {
        const double a = playing.Next(n), b = muted.Next(n);
        ratio.push_back(b / a);
    }
    // The first frame still carries the gain smoothed before the mute.
    EXPECT_DOUBLE_EQ(ratio[0], 1.0);
    for (size_t j = 1; j + 1 < ratio.size() && ratio[j] > 1e-3; ++j)
        ASSERT_NEAR(ratio[j + 1] / ratio[j], 0.9, 1e-3) << j;
    // Within 3 ms (132 frames) the band is down to the muted gain of −120 dB.
    EXPECT_LT(std::fabs(ratio[133]), 2e-6);
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

TEST(DualBandProcessor, DetectorsAddTheFramesAntiDenormalOffset)
{
    Defaults d;
    DualBandProcessor dual;
    auto delay = std::make_unique<LookaheadDelay>();
    for (const double offset : {0.03276, -0.0125}) {
        Frame silence{0.0, 0.0};
        const bool gated = false;
        const int row = 0;
        dual.Process(One(silence), std::span(&offset, 1), std::span(&gated, 1), std::span(&row, 1), d.global(),
                     d.settings(), d.gains(), *delay, d.meters);
        EXPECT_EQ(d.gains().BandLevel[kBandHF], std::fabs(offset));
        EXPECT_EQ(d.gains().BandLevel[kBandLF], std::fabs(offset));
    }
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
