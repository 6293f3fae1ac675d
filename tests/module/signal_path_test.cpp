// The frame loop end to end on a module initialised from a temporary folder: format check,
// channel handling, bypass, output clamp, meters, soft clip.

#include "dsp/conversions.h"
#include "dsp/soft_clip.h"
#include "module_test_support.h"
#include "processing_module.h"

#include <gtest/gtest.h>

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
    std::unique_ptr<ProcessingModule> module = std::make_unique<ProcessingModule>(test::HostExecutableIn(folder.path()));
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
    EXPECT_EQ(module->Path.Gains.record(1, Compressor).envelope, module->Path.Gains.record(1, Compressor).threshold.get());
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
