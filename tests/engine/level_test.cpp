// The level meter: peak rules, the dB and linear scales, decay, the peak marker and the pixels
// of the drawn bar.

#include "errors.h"
#include "level.h"
#include "level_signals.h"

#include <gtest/gtest.h>

namespace {

class ProgramMeter : public ::testing::Test {
protected:
    ProgramMeter() { applyProgramSettings(level, TMMChannel::chLeft); }

    void measure(const StereoFrames& frames) { level.Measure(frames.data(), byteSize(frames)); }

    TMMTickService ticks{TMMTickSource::Manual};
    TMMLevel level{ticks};
};

} // namespace

TEST_F(ProgramMeter, FullScaleLightsEverySpotAndMinus35dBNone)
{
    measure(sineFrames(50, 0.0, 0));
    EXPECT_EQ(level.Spots(), 37);

    level.Clear();
    measure(sineFrames(50, -35.0, 0));
    EXPECT_EQ(level.Spots(), 0);
    measure(sineFrames(50, -50.0, 0));
    EXPECT_EQ(level.Spots(), 0);
    // One spot's worth above the floor does light.
    measure(sineFrames(50, -34.0, 0));
    EXPECT_EQ(level.Spots(), 1);
}

TEST_F(ProgramMeter, OnlyTheFirstSamplesFramesOfABlockCount)
{
    measure(sineFrames(200, 0.0, 0, 50)); // loud from frame 50 on
    EXPECT_EQ(level.Spots(), 0);
    level.SetSamples(100);
    EXPECT_EQ(level.BlockSize(), 400);
    measure(sineFrames(200, 0.0, 0, 50));
    EXPECT_EQ(level.Spots(), 37);
    // A block shorter than Samples frames is read only as far as it goes.
    const StereoFrames tail = sineFrames(60, 0.0, 0, 58);
    level.Clear();
    level.Measure(tail.data(), 58 * 4);
    EXPECT_EQ(level.Spots(), 0);
}

TEST_F(ProgramMeter, BothChannelsAverageWithTheHalvingTruncatedTowardZero)
{
    const StereoFrames frames = constantFrames(50, 1000, -1001);
    measure(frames);
    EXPECT_EQ(level.Spots(), 5) << "1000 alone is about -30 dBFS";
    level.SetChannel(TMMChannel::chBoth);
    level.Clear();
    measure(frames);
    EXPECT_EQ(level.Spots(), 0) << "(1000 - 1001) / 2 is 0, not -1";
    measure(constantFrames(50, 32767, 32767));
    EXPECT_EQ(level.Spots(), 37);

    // A peak of 1 would be invisible on its own but would halve the average of a full-scale
    // history (31 spots); the true peak 0 is silence.
    level.SetDecay(3);
    measure(constantFrames(50, 32767, 32767));
    measure(frames);
    EXPECT_EQ(level.Spots(), 0);
    measure(constantFrames(50, 1, 1));
    EXPECT_EQ(level.Spots(), 31);
}

TEST_F(ProgramMeter, PcmOverflowFiresAtTheTopOfTheRange)
{
    int overflows = 0;
    level.OnPcmOverflow = [&](TMMLevel&) { ++overflows; };
    measure(constantFrames(50, 32766, 0));
    EXPECT_EQ(overflows, 0);
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(overflows, 1);
    measure(constantFrames(50, -32768, 0));
    EXPECT_EQ(overflows, 2);
    // A DC offset can push a quiet signal over the top, and take a constant one away.
    level.SetDCOffsetL(32000);
    measure(constantFrames(50, 1000, 0));
    EXPECT_EQ(overflows, 3);
    level.SetDCOffsetL(-1000);
    measure(constantFrames(50, 1000, 0));
    EXPECT_EQ(level.Spots(), 0);
}

TEST_F(ProgramMeter, GainAboveFullScaleOverflowsAndLightsEverySpot)
{
    int overflows = 0;
    level.OnGainOverflow = [&](TMMLevel&) { ++overflows; };
    measure(constantFrames(50, 20000, 0)); // about -4.3 dBFS
    EXPECT_LT(level.Spots(), 37);
    EXPECT_EQ(overflows, 0);

    level.SetGain(8); // twice the level: +1.7 dB over full scale
    measure(constantFrames(50, 20000, 0));
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(level.Spots(), 37);

    level.SetGain(40); // outside -8..32: ignored
    EXPECT_EQ(level.Gain(), 8);
}

TEST_F(ProgramMeter, EightBitSamplesAreCentredOn128)
{
    level.SetBitLength(TMMBits::b8Bit);
    level.SetMode(TMMMode::mMono);
    EXPECT_EQ(level.BlockSize(), 50);
    std::vector<std::uint8_t> block(50, 128);
    level.Measure(block.data(), 50);
    EXPECT_EQ(level.Spots(), 0);
    block[10] = 255; // 127 x 256: just under full scale
    level.Measure(block.data(), 50);
    EXPECT_EQ(level.Spots(), 37);
}

TEST_F(ProgramMeter, LinearScaleIsProportionalAboveTheSensitivityFloor)
{
    level.SetLogAmp(false);
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.Spots(), 37);
    measure(constantFrames(50, 16384, 0));
    EXPECT_EQ(level.Spots(), 18); // half way above the -35 dB floor of about 583
    measure(constantFrames(50, 583, 0));
    EXPECT_EQ(level.Spots(), 0);
}

TEST_F(ProgramMeter, SymmetricBarsShowHalfTheSpotsOnEachSide)
{
    level.SetDirection(TMMDirection::dirSymetric);
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.Spots(), 18);
    // Full scale reaches both ends; the centre is lit too.
    EXPECT_EQ(framePixel(level, spotX(1), 4), kRed);
    EXPECT_EQ(framePixel(level, spotX(37), 4), kRed);
    EXPECT_EQ(framePixel(level, spotX(19), 4), kAqua);

    measure(constantFrames(50, 1000, 0)); // 5 spots before halving: 2 each side of the centre
    EXPECT_EQ(level.Spots(), 2);
    EXPECT_EQ(framePixel(level, spotX(19), 4), kAqua);
    EXPECT_EQ(framePixel(level, spotX(17), 4), kAqua);
    EXPECT_EQ(framePixel(level, spotX(21), 4), kAqua);
    EXPECT_EQ(framePixel(level, spotX(16), 4), kBlack);
    EXPECT_EQ(framePixel(level, spotX(22), 4), kBlack);
}

TEST_F(ProgramMeter, UniformDecayAveragesTheLastLevels)
{
    level.SetDecay(3); // averages 4 levels
    EXPECT_EQ(level.HistoryLength(), 4);
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.Spots(), 37);
    measure(constantFrames(50, 1, 0));
    EXPECT_EQ(level.Spots(), 31) << "average 16384 is -6 dBFS";
}

TEST_F(ProgramMeter, StepUpDecayFallsBackByTheCoefficientAndExponentialRisesByIt)
{
    EXPECT_DOUBLE_EQ(level.DecayCoefficient(), 0.0001);
    level.SetDecayMode(TMMDecayMode::dmStepUp);
    level.SetDecay(6); // coefficient 0.0001^(1/64), about 0.866
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.Spots(), 37);
    measure(constantFrames(50, 1, 0));
    EXPECT_EQ(level.Spots(), 36) << "held at 0.866 of full scale, -1.25 dB";
    measure(constantFrames(50, 1, 0));
    EXPECT_EQ(level.Spots(), 34);

    level.SetDecayMode(TMMDecayMode::dmExponential);
    level.Clear();
    int previous = 0;
    for (int i = 0; i < 3; ++i) {
        measure(constantFrames(50, 32767, 0));
        EXPECT_GT(level.Spots(), previous);
        EXPECT_LT(level.Spots(), 37);
        previous = level.Spots();
    }
}

TEST_F(ProgramMeter, ThePeakMarkerHolds21TicksAndGoesAtTheNextMeasurement)
{
    const TMMColor bar3 = level.Bar3Color();
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.PeakSpot(), 37);
    EXPECT_EQ(level.PeakCountdown(), 21);

    // Silence darkens the bar but leaves the marker on the top spot.
    measure(silentFrames(50));
    EXPECT_EQ(level.Spots(), 0);
    EXPECT_EQ(framePixel(level, spotX(36), 4), kBlack);
    EXPECT_EQ(framePixel(level, spotX(37), 4), bar3);

    for (int i = 0; i < 20; ++i)
        ticks.Tick();
    measure(silentFrames(50));
    EXPECT_EQ(level.PeakSpot(), 37);
    EXPECT_EQ(framePixel(level, spotX(37), 4), bar3);

    ticks.Tick(); // the 21st
    EXPECT_EQ(level.PeakSpot(), 0);
    EXPECT_EQ(framePixel(level, spotX(37), 4), bar3) << "the tick itself does not draw";
    measure(silentFrames(50));
    EXPECT_EQ(framePixel(level, spotX(37), 4), kBlack);
}

TEST_F(ProgramMeter, APeakSpeedLetsTheMarkerFallSpotBySpot)
{
    level.SetPeakSpeed(2);
    measure(constantFrames(50, 32767, 0));
    for (int i = 0; i < 21; ++i)
        ticks.Tick();
    EXPECT_EQ(level.PeakSpot(), 36);
    ticks.Tick();
    ticks.Tick();
    EXPECT_EQ(level.PeakSpot(), 35);
    // A louder measurement catches the falling marker.
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.PeakSpot(), 37);
}

TEST_F(ProgramMeter, WithoutPeaksNoMarkerIsHeldOrDrawn)
{
    level.SetNumPeaks(0);
    measure(constantFrames(50, 32767, 0));
    measure(silentFrames(50));
    EXPECT_EQ(level.PeakSpot(), 0);
    EXPECT_EQ(framePixel(level, spotX(37), 4), kBlack);
}

TEST_F(ProgramMeter, DisablingClearsAndStopsMeasuring)
{
    measure(constantFrames(50, 32767, 0));
    level.SetEnabled(false);
    EXPECT_EQ(level.Spots(), 0);
    EXPECT_EQ(level.PeakSpot(), 0);
    EXPECT_EQ(framePixel(level, spotX(1), 4), kBlack);
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.Spots(), 0);
    level.SetEnabled(true);
    measure(constantFrames(50, 32767, 0));
    EXPECT_EQ(level.Spots(), 37);
}

TEST(LevelFormat, TakesBitsAndChannelsFromPcmAndRefusesTheRest)
{
    TMMTickService ticks(TMMTickSource::Manual);
    TMMLevel level(ticks);
    const TWaveFormatEx mono8 = pcmWaveFormat(8, 1, 22050);
    level.ConfigureFromFormat(&mono8);
    EXPECT_EQ(level.BitLength(), TMMBits::b8Bit);
    EXPECT_EQ(level.Mode(), TMMMode::mMono);
    const TWaveFormatEx stereo16 = pcmWaveFormat(16, 2, 44100);
    level.ConfigureFromFormat(&stereo16);
    EXPECT_EQ(level.BlockSize(), 200);

    TWaveFormatEx compressed = stereo16;
    compressed.FormatTag = 2;
    try {
        level.ConfigureFromFormat(&compressed);
        FAIL() << "a compressed format was accepted";
    } catch (const EMMLevelError& e) {
        EXPECT_STREQ(e.what(), "Invalid WaveFormat");
    }
    EXPECT_THROW(level.ConfigureFromFormat(nullptr), EMMLevelError);
}

TEST(LevelDrawing, SpotsTakeTheirZoneColoursOverTheInactiveBar)
{
    TMMTickService ticks(TMMTickSource::Manual);
    TMMLevel level(ticks);
    level.SetSize(147, 9);
    level.SetSpotWidth(3);
    level.SetBitLength(TMMBits::b16Bit);
    level.SetMode(TMMMode::mStereo);
    level.SetChannel(TMMChannel::chLeft);
    const TMMColor green = mmRgb(0, 255, 0), yellow = mmRgb(255, 255, 0);
    const TMMColor teal = mmRgb(0, 128, 128), maroon = mmRgb(128, 0, 0);
    level.SetBar1Color(green);
    level.SetBar2Color(yellow);

    // Before anything is measured: every spot inactive, the gaps in the control's colour.
    EXPECT_EQ(framePixel(level, spotX(1), 0), teal);
    EXPECT_EQ(framePixel(level, spotX(31), 8), teal);
    EXPECT_EQ(framePixel(level, spotX(32), 8), maroon);
    EXPECT_EQ(framePixel(level, spotX(1) + 3, 4), kBlack);

    const StereoFrames level25 = constantFrames(50, 10000, 0); // -10.3 dBFS: 26 spots
    level.Measure(level25.data(), byteSize(level25));
    ASSERT_EQ(level.Spots(), 26);
    EXPECT_EQ(framePixel(level, spotX(1), 0), green);
    EXPECT_EQ(framePixel(level, spotX(18) + 2, 8), green);
    EXPECT_EQ(framePixel(level, spotX(19), 4), yellow);
    EXPECT_EQ(framePixel(level, spotX(26) + 2, 4), yellow);
    EXPECT_EQ(framePixel(level, spotX(26) + 3, 4), kBlack);
    EXPECT_EQ(framePixel(level, spotX(27), 4), teal);
    EXPECT_EQ(framePixel(level, spotX(37) + 2, 4), maroon);

    // Reversed, the same level lights from the right-hand end.
    level.SetDirection(TMMDirection::dirReversed);
    EXPECT_EQ(framePixel(level, spotX(37), 4), green);
    EXPECT_EQ(framePixel(level, spotX(12), 4), yellow);
    EXPECT_EQ(framePixel(level, spotX(11), 4), teal);
    EXPECT_EQ(framePixel(level, spotX(1), 4), maroon);
}

TEST(LevelDrawing, VerticalBarsLightFromTheBottom)
{
    TMMTickService ticks(TMMTickSource::Manual);
    TMMLevel level(ticks);
    level.SetKind(TMMLevelKind::lkVertical);
    level.SetSize(9, 147);
    level.SetSpotWidth(3);
    level.SetBitLength(TMMBits::b16Bit);
    level.SetMode(TMMMode::mStereo);
    level.SetChannel(TMMChannel::chLeft);
    EXPECT_EQ(level.SpotCount(), 37);
    const StereoFrames quiet = constantFrames(50, 1000, 0); // 5 spots
    level.Measure(quiet.data(), byteSize(quiet));
    EXPECT_EQ(framePixel(level, 4, 146), kAqua);
    EXPECT_EQ(framePixel(level, 0, 146 - spotX(5)), kAqua);
    EXPECT_EQ(framePixel(level, 8, 146 - spotX(6)), mmRgb(0, 128, 128));
}
