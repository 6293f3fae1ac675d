// The frame loop end to end on a module initialised from a temporary folder: format check,
// channel handling, bypass, output clamp, meters, soft clip.

#include "dsp/conversions.h"
#include "dsp/soft_clip.h"
#include "module_test_support.h"
#include "processing_module.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <limits>
#include <memory>

namespace qex {
namespace {

class SignalPathTest : public ::testing::Test {
protected:
    SignalPathTest() { module->Init(); }

    int Process(std::vector<int16_t>& samples, int channels, int bits = 16, int rate = 44100)
    {
        const int frames = static_cast<int>(samples.size()) / std::max(channels, 1);
        return module->ModifySamples(samples.data(), frames, bits, channels, rate);
    }
    dsp::MeterValues& meters() { return module->Path.Meters; }

    test::TempFolder folder;
    std::unique_ptr<ProcessingModule> module =
        std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
};

TEST_F(SignalPathTest, RefusedFormatsPassUntouchedAndRaiseTheFormatError)
{
    struct Format {
        int bits, channels, rate;
    };
    for (const Format f : {Format{8, 2, 44100}, Format{16, 2, 22050}, Format{16, 0, 44100}, Format{16, -3, 44100}}) {
        SCOPED_TRACE(testing::Message() << f.bits << " bits, " << f.channels << " channels, " << f.rate << " Hz");
        std::vector<int16_t> samples = test::StereoSine(2048, 1000, 12000, 9000);
        const auto original = samples;
        meters().AgcMasterGain.set(3.0);
        meters().Gated.set(1);
        EXPECT_EQ(module->ModifySamples(samples.data(), 2048, f.bits, f.channels, f.rate), 2048);
        EXPECT_EQ(samples, original);
        EXPECT_EQ(meters().FormatError.get(), 0xFF00);
        EXPECT_EQ(meters().AgcMasterGain.get(), 0.0);
        EXPECT_EQ(meters().Gated.get(), 0);

        std::vector<int16_t> valid = test::StereoSine(2048, 1000, 12000, 9000);
        Process(valid, 2);
        EXPECT_NE(valid, original);
        EXPECT_EQ(meters().FormatError.get(), 0);
    }
}

TEST_F(SignalPathTest, FormatErrorKeepsThePanelsByte)
{
    meters().FormatError.set(dsp::kFormatWarningShown);
    std::vector<int16_t> samples(64);
    Process(samples, 2, 8);
    EXPECT_EQ(meters().FormatError.get(), 0xFFFF);
    EXPECT_EQ(module->ModifySamples(samples.data(), 0, 16, 2, 44100), 0);
    EXPECT_EQ(meters().FormatError.get(), 0x00FF);
}

TEST_F(SignalPathTest, FortyEightKilohertzIsProcessed)
{
    std::vector<int16_t> samples = test::StereoSine(4096, 1000, 12000, 9000);
    const auto original = samples;
    EXPECT_EQ(Process(samples, 2, 16, 48000), 4096);
    EXPECT_NE(samples, original);
    EXPECT_EQ(meters().FormatError.get(), 0);
}

TEST_F(SignalPathTest, OtherChannelCountsChangeOnlyTheFirstSampleOfEachFrame)
{
    for (const int channels : {1, 6}) {
        SCOPED_TRACE(channels);
        std::vector<int16_t> samples(static_cast<size_t>(4096) * channels);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>(9000 * std::sin(0.05 * static_cast<double>(i / channels)) + i % channels);
        const auto original = samples;
        EXPECT_EQ(Process(samples, channels), 4096);
        int changed = 0;
        for (size_t i = 0; i < samples.size(); ++i) {
            if (i % channels == 0)
                changed += samples[i] != original[i];
            else
                ASSERT_EQ(samples[i], original[i]) << i;
        }
        EXPECT_GT(changed, 3000);
    }
}

TEST_F(SignalPathTest, MonoHalvesTheSumRoundingDown)
{
    module->ChangeFlag(Flag::Mono, true);
    module->ChangeFlag(Flag::InputLpf15k, false);
    // The first frame's offset is SineTable[1] × 0.000001.
    const double offset = module->Path.Input().SineTable()[1] * 0.000001;
    std::vector<int16_t> frame = {3, -4};
    Process(frame, 2);
    EXPECT_DOUBLE_EQ(meters().InputPeak.get(), 1 - offset); // both -1 before the offset

    auto again = std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
    again->Init();
    again->ChangeFlag(Flag::Mono, true);
    again->ChangeFlag(Flag::InputLpf15k, false);
    frame = {-3, 4};
    again->ModifySamples(frame.data(), 1, 16, 2, 44100);
    EXPECT_DOUBLE_EQ(again->Path.Meters.InputPeak.get(), offset); // both 0
}

TEST_F(SignalPathTest, SilenceThroughBypassAllStaysSilent)
{
    module->ChangeGlobal(&GlobalParams::BypassAll, 1);
    std::vector<int16_t> samples(2 * 44100, 0);
    Process(samples, 2);
    for (const int16_t s : samples)
        ASSERT_EQ(s, 0);
    EXPECT_EQ(meters().OutputPeak.get(), 0.0);
    EXPECT_EQ(meters().Gated.get(), 0);
}

TEST_F(SignalPathTest, BypassAllPassesTheInputThrough)
{
    module->ChangeGlobal(&GlobalParams::BypassAll, 1);
    module->ChangeFlag(Flag::InputLpf15k, false);
    std::vector<int16_t> samples = test::StereoSine(8192, 440, 20000, -15000);
    const auto original = samples;
    Process(samples, 2);
    // The offset is below one unit: positive values come back whole, negative ones may lose
    // one unit to the truncation.
    for (size_t i = 0; i < samples.size(); ++i)
        ASSERT_LE(std::abs(samples[i] - original[i]), 1) << i;
    EXPECT_EQ(meters().AgcMasterGain.get(), 0.0);
}

TEST_F(SignalPathTest, OutputIsClampedToPlusMinus32760)
{
    module->ChangeGlobal(&GlobalParams::NoClipper, 1);
    module->ChangeGlobal(&GlobalParams::OverdriveDb, 30);
    std::vector<int16_t> samples(2 * 44100);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (i / 2 / 50) % 2 ? 32767 : -32767;
    Process(samples, 2);
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    EXPECT_EQ(*low, -32760);
    EXPECT_EQ(*high, 32760);
    EXPECT_EQ(meters().OutputPeak.get(), 32760.0);
}

TEST_F(SignalPathTest, OutLevelZeroGivesSilenceExceptUnderBypass)
{
    module->ChangeGlobal(&GlobalParams::OutLevelPct, 0);
    std::vector<int16_t> samples = test::StereoSine(8192, 440, 20000, 15000);
    Process(samples, 2);
    for (const int16_t s : samples)
        ASSERT_EQ(s, 0);
    module->ChangeGlobal(&GlobalParams::BypassAll, 1);
    samples = test::StereoSine(8192, 440, 20000, 15000);
    Process(samples, 2);
    EXPECT_NE(*std::max_element(samples.begin(), samples.end()), 0);
}

TEST_F(SignalPathTest, MetersFollowTheProgram)
{
    std::vector<int16_t> samples = test::StereoSine(44100, 440, 20000, -20000);
    Process(samples, 2);
    EXPECT_NEAR(meters().InputPeak.get(), 20000, 300);
    EXPECT_GT(meters().OutputPeak.get(), 1000.0);
    EXPECT_GT(meters().ImagePeak.get(), 30000.0);
    EXPECT_GT(meters().PreClipPeak.get(), 1000.0);
    EXPECT_GT(meters().ClipPeak.get(), 1000.0);
    EXPECT_GT(meters().AgcMasterGain.get(), 0.0);
    EXPECT_GT(module->Path.Gains.BandGain[2].get(), 0.0);
}

TEST_F(SignalPathTest, ApplyingParametersRestartsTheDynamics)
{
    std::vector<int16_t> samples = test::StereoSine(44100, 440, 20000, 20000);
    Process(samples, 2);
    ASSERT_LT(module->Path.Gains.BandGain[1].get(), 0.9);
    module->Config(); // opening the panel applies the parameters
    std::vector<int16_t> one(2, 0);
    Process(one, 2);
    // One frame of silence after the reset: envelopes lifted to the thresholds, gains 1.
    EXPECT_EQ(module->Path.Gains.record(1, Compressor).envelope,
              module->Path.Gains.record(1, Compressor).threshold.get());
}

TEST_F(SignalPathTest, HighClipThresholdWithPreemphasisNeverWrapsTheOutput)
{
    // "Clip Thr" +12.0 dB with pre-emphasis on, and a full-scale square wave: the clipper's
    // output exceeds the ±139 000 that a 32-bit output low-pass could sum, which would turn
    // the largest peaks into spikes of the opposite sign. At an output level of 90 % the safety
    // clip's far end stays below the clamp, so the output still tells a peak of 140 000 or more
    // before the safety clip. The band-limited output never swings from such a peak to one of
    // the other sign from one frame to the next; a wrapped sum does.
    const double farEnd = 0.9 * dsp::SoftClip(dsp::Pair{140000, 140000}, 32760)[0];
    for (const int halfPeriod : {15, 30, 50}) {
        SCOPED_TRACE(halfPeriod);
        auto m = std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
        m->Init();
        m->ChangeSection(kBandHF, Compressor, &SectionParams::BandGainTenthDb, 120);
        m->ChangeGlobal(&GlobalParams::PreemphOn, 1);
        m->ChangeGlobal(&GlobalParams::OutLevelPct, 90);
        std::vector<int16_t> samples(2 * 44100);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = (i / 2 / halfPeriod) % 2 ? 32767 : -32767;
        m->ModifySamples(samples.data(), 44100, 16, 2, 44100);
        ASSERT_GT(m->Path.Meters.ClipPeak.get(), 139000.0);

        int peaks = 0;
        for (size_t i = 2; i < samples.size(); ++i) {
            const int previous = samples[i - 2], current = samples[i];
            if (std::abs(current) < farEnd)
                continue;
            ++peaks;
            ASSERT_FALSE(std::abs(previous) >= farEnd && (previous > 0) != (current > 0))
                << "frame " << i / 2 << ": " << previous << ", " << current;
        }
        EXPECT_GT(peaks, 0);
    }
}

TEST_F(SignalPathTest, SwitchingBypassAllKeepsTheOutputIndependentOfTheBufferSize)
{
    // Loud bursts and passages below the gate level, so that the AGC's gate opens and closes
    // while the multiband analysis runs under BypassAll and keeps the gate cleared.
    const int frames = 3 * 44100;
    std::vector<int16_t> input(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double level = (i / 6000) % 3 == 0 ? 20000.0 : (i / 6000) % 3 == 1 ? 2000.0 : 150.0;
        input[2 * i] = static_cast<int16_t>(level * std::sin(0.031 * i) + 0.3 * level * std::sin(1.3 * i));
        input[2 * i + 1] = static_cast<int16_t>(level * std::sin(0.017 * i));
    }
    const auto run = [&](int bufferFrames) {
        auto m = std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
        m->Init();
        std::vector<int16_t> samples = input;
        constexpr int kBlock = 1024;
        for (int block = 0; block * kBlock < frames; ++block) {
            m->ChangeGlobal(&GlobalParams::BypassAll, block % 2 == 0);
            const int end = std::min((block + 1) * kBlock, frames);
            for (int first = block * kBlock; first < end; first += bufferFrames)
                m->ModifySamples(samples.data() + 2 * first, std::min(bufferFrames, end - first), 16, 2, 44100);
        }
        return samples;
    };
    const auto whole = run(1024);
    const auto single = run(1);
    for (size_t i = 0; i < whole.size(); ++i)
        ASSERT_EQ(whole[i], single[i]) << "sample " << i;
}

// A fresh module from the test's folder, set up by change, with samples run through it in
// buffers of 1024 frames; returns the output.
std::vector<int16_t> Render(const std::filesystem::path& folder, std::vector<int16_t> samples, int channels,
                            const std::function<void(ProcessingModule&)>& change = {}, int rate = 44100)
{
    auto m = std::make_unique<ProcessingModule>(test::HostExecutableIn(folder));
    m->Init();
    if (change)
        change(*m);
    const int frames = static_cast<int>(samples.size()) / channels;
    for (int first = 0; first < frames; first += 1024)
        m->ModifySamples(samples.data() + static_cast<ptrdiff_t>(first) * channels, std::min(1024, frames - first), 16,
                         channels, rate);
    return samples;
}

// Interleaved samples of a music-like signal: a few tones and a swell.
std::vector<int16_t> Program(int frames, int channels, double stereoSpread = 0.0)
{
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const double swell = 0.6 + 0.4 * std::sin(0.0007 * i);
        const double left = swell * (9000 * std::sin(0.011 * i) + 5000 * std::sin(0.13 * i) + 2000 * std::sin(1.7 * i));
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(
                c == 1 ? left * (1 - stereoSpread) + stereoSpread * 4000 * std::sin(0.05 * i) : left + 37 * c);
    }
    return samples;
}

TEST_F(SignalPathTest, HigherRatesAreProcessedLikeFortyFourPointOne)
{
    const auto input = Program(20000, 2, 0.5);
    EXPECT_EQ(Render(folder.path(), input, 2, {}, 48000), Render(folder.path(), input, 2));
}

TEST_F(SignalPathTest, MonoAndSixChannelsProcessTheFirstSampleAsACentredPair)
{
    const auto stereo = Render(folder.path(), Program(20000, 2), 2);
    for (const int channels : {1, 6}) {
        SCOPED_TRACE(channels);
        const auto output = Render(folder.path(), Program(20000, channels), channels);
        for (int i = 0; i < 20000; ++i) {
            ASSERT_EQ(stereo[2 * i + 1], stereo[2 * i]) << i; // a centred pair stays centred
            ASSERT_EQ(output[static_cast<size_t>(i) * channels], stereo[2 * i]) << i;
        }
    }
}

TEST_F(SignalPathTest, MultibandBypassHoldsTheDelayIndexAndTheBandMeters)
{
    // With "BYPASS" the shared delay index stands still: the look-ahead setting no longer
    // matters and the dual band looks one frame ahead, as at 0 ms; the band meters stand.
    const auto input = Program(30000, 2, 0.3);
    const auto lookahead = [](int ms, bool bypass) {
        return [ms, bypass](ProcessingModule& m) {
            m.ChangeGlobal(&GlobalParams::LookaheadMs, ms);
            m.ChangeFlag(Flag::MultibandBypass, bypass);
        };
    };
    EXPECT_EQ(Render(folder.path(), input, 2, lookahead(100, true)),
              Render(folder.path(), input, 2, lookahead(0, true)));
    EXPECT_NE(Render(folder.path(), input, 2, lookahead(100, false)),
              Render(folder.path(), input, 2, lookahead(0, false)));

    std::vector<int16_t> samples = input;
    Process(samples, 2);
    std::array<double, kMultibandCount> shown;
    for (int band = 0; band < kMultibandCount; ++band)
        shown[band] = module->Path.Gains.BandGain[band].get();
    const double dualBand = module->Path.Gains.BandGain[kBandLF].get();
    module->ChangeFlag(Flag::MultibandBypass, true);
    samples = Program(30000, 2, 0.8);
    Process(samples, 2);
    for (int band = 0; band < kMultibandCount; ++band)
        EXPECT_EQ(module->Path.Gains.BandGain[band].get(), shown[band]) << band;
    EXPECT_NE(module->Path.Gains.BandGain[kBandLF].get(), dualBand);
}

TEST_F(SignalPathTest, BassEqualiserStandsStillAtZeroBoostAndWithTheAmFilter)
{
    // The first part runs with the equaliser out of the path, by a boost of 0 or by the AM
    // filter; the second with a 12 dB boost and without the AM filter. If the equaliser had run
    // in the first part, its states would carry into the second.
    const auto input = Program(40000, 2, 0.4);
    const std::vector<int16_t> first(input.begin(), input.begin() + 40000), second(input.begin() + 40000, input.end());
    const auto render = [&](int firstBoost, bool firstAm) {
        auto m = std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
        m->Init();
        m->ChangeGlobal(&GlobalParams::BassEqGainDb, firstBoost);
        m->ChangeFlag(Flag::AmFilter, firstAm);
        std::vector<int16_t> a = first, b = second;
        m->ModifySamples(a.data(), 20000, 16, 2, 44100);
        m->ChangeGlobal(&GlobalParams::BassEqGainDb, 12);
        m->ChangeFlag(Flag::AmFilter, false);
        m->ModifySamples(b.data(), 20000, 16, 2, 44100);
        return std::pair(a, b);
    };
    const auto [boostWithAm, afterAm] = render(12, true);
    const auto [noBoostWithAm, afterBoth] = render(0, true);
    const auto [noBoost, afterNoBoost] = render(0, false);
    const auto [boost, afterBoost] = render(12, false);
    EXPECT_EQ(boostWithAm, noBoostWithAm); // no boost at all with the AM filter
    EXPECT_EQ(afterAm, afterNoBoost);
    EXPECT_EQ(afterBoth, afterNoBoost);
    EXPECT_NE(afterBoost, afterNoBoost); // the equaliser's history does reach the output
}

TEST_F(SignalPathTest, PreemphasisChoosesTheOutputLowpassOrTheDeEmphasis)
{
    // A 19 kHz tone: with "Preemphasis ON" the output low-pass notches it away; with it off
    // the de-emphasis lets it through.
    const auto tone = test::StereoSine(20000, 19000, 8000, 8000);
    const auto peakAfter = [](const std::vector<int16_t>& samples, size_t from) {
        int peak = 0;
        for (size_t i = from; i < samples.size(); ++i)
            peak = std::max(peak, std::abs(samples[i]));
        return peak;
    };
    const auto preemphasis = [](bool on, bool use50us) {
        return [on, use50us](ProcessingModule& m) {
            m.ChangeGlobal(&GlobalParams::PreemphOn, on);
            m.ChangeGlobal(&GlobalParams::Preemph50us, use50us);
        };
    };
    const auto deEmphasised = Render(folder.path(), tone, 2, preemphasis(false, true));
    const auto lowpassed = Render(folder.path(), tone, 2, preemphasis(true, true));
    EXPECT_GT(peakAfter(deEmphasised, 20000), 1000);
    EXPECT_LT(peakAfter(lowpassed, 20000), peakAfter(deEmphasised, 20000) / 50);

    // "75uS" changes the pre-emphasis only while the output stays pre-emphasised.
    const auto program = Program(20000, 2, 0.5);
    EXPECT_EQ(Render(folder.path(), program, 2, preemphasis(false, false)),
              Render(folder.path(), program, 2, preemphasis(false, true)));
    EXPECT_NE(Render(folder.path(), program, 2, preemphasis(true, false)),
              Render(folder.path(), program, 2, preemphasis(true, true)));
}

TEST(OutputConversion, ClampsTruncatesAndSilencesWhatIsNotANumber)
{
    EXPECT_EQ(dsp::ToOutputSample(40000.0), 32760);
    EXPECT_EQ(dsp::ToOutputSample(-40000.0), -32760);
    EXPECT_EQ(dsp::ToOutputSample(1.9), 1);
    EXPECT_EQ(dsp::ToOutputSample(-1.9), -1);
    EXPECT_EQ(dsp::ToOutputSample(std::numeric_limits<double>::infinity()), 32760);
    EXPECT_EQ(dsp::ToOutputSample(-std::numeric_limits<double>::infinity()), -32760);
    EXPECT_EQ(dsp::ToOutputSample(std::numeric_limits<double>::quiet_NaN()), 0);

    EXPECT_EQ(dsp::TruncateToInt32(-334000.7), -334000);
    EXPECT_EQ(dsp::TruncateToInt32(1e12), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(dsp::TruncateToInt32(-1e12), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(dsp::TruncateToInt32(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(dsp::LevelFromTenthDb(2000), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(dsp::LevelFromDb(-120), 0);
}

TEST(SoftClip, BendsTheExcessIntoTheKnee)
{
    // Both channels of a frame at once, each on its own.
    const auto clip = [](double l, double r, int32_t threshold) { return dsp::SoftClip(dsp::Pair{l, r}, threshold); };
    EXPECT_NEAR(clip(40000, 0, 30000)[0], 30000 + 10000.0 * 2148 / 12148, 1e-9);
    EXPECT_NEAR(clip(0, 40000, 30000)[1], 31768.2, 0.05);
    EXPECT_NEAR(clip(-40000, 40000, 30000)[0], -31768.2, 0.05);
    EXPECT_EQ(clip(29999, 40000, 30000)[0], 29999);
    EXPECT_EQ(clip(40000, -30000, 30000)[1], -30000);
    EXPECT_NEAR(clip(40000, 1, 30619)[0], 32366.8, 0.05);
    EXPECT_EQ(clip(40000, 1, 30619)[1], 1);
    EXPECT_LT(clip(1e12, -1e12, 30000)[0], 30000 + 2148);
    EXPECT_GT(clip(1e12, -1e12, 30000)[1], -30000 - 2148);
}

} // namespace
} // namespace qex
