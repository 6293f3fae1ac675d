// The connector behind the wave output: which buffer it shows, how it feeds the two meters,
// its display slots and its lifecycle.

#include "connector.h"
#include "errors.h"
#include "level_signals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>

namespace {

// An engine buffer: header followed by its samples.
struct Buffer {
    explicit Buffer(const StereoFrames& frames)
        : storage(kWaveHdrSize + frames.size() * sizeof(std::int16_t), 0), header(engineBufferHeader(storage.data()))
    {
        std::memcpy(header->Data, frames.data(), frames.size() * sizeof(std::int16_t));
        header->BufferLength = header->BytesRecorded = static_cast<std::uint32_t>(frames.size() * sizeof(std::int16_t));
    }
    std::vector<char> storage;
    TMMWaveHdr* header;
};

std::int64_t testNow = 0;
std::int64_t testClock()
{
    return testNow;
}

const TWaveFormatEx kCd = pcmWaveFormat(16, 2, 44100);

// The main window's connector with its two meters, opened and started as the chain does.
class ProgramConnector : public ::testing::Test {
protected:
    ProgramConnector()
    {
        applyProgramSettings(left, TMMChannel::chLeft);
        applyProgramSettings(right, TMMChannel::chRight);
        connector.SetAutoConvert(false);
        connector.SetTriggerMethod(TMMTriggerMethod::tmTimer);
        connector.SetTriggerMode(TMMTriggerMode::tmUpFlank);
        connector.SetRealTime(false);
        connector.SetEnterIdle(false);
        connector.SetLevel1(&left);
        connector.SetLevel2(&right);
        connector.SetOutput(&downstream);
        connector.SetBufferSize(4096);
        connector.SetWaveFormat(&kCd);
        connector.Open();
        connector.Start();
    }

    TMMTickService ticks{TMMTickSource::Manual};
    TMMLevel left{ticks};
    TMMLevel right{ticks};
    TMMConnector connector;
    TMMDSPComponent downstream;
};

} // namespace

TEST_F(ProgramConnector, ShowsTheAudibleBufferAndPassesThePlayedOneOn)
{
    Buffer played(silentFrames(1024));
    Buffer audible(sineFrames(1024, 0.0, 0));
    played.header->NextPlaying = audible.header;
    TMMWaveHdr* passedOn = nullptr;
    downstream.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr* hdr) { passedOn = hdr; };

    connector.BufferReady(played.header);
    EXPECT_EQ(left.Spots(), 37);
    EXPECT_EQ(right.Spots(), 0);
    EXPECT_EQ(passedOn, played.header);
}

TEST_F(ProgramConnector, MeasuresOnlyTheFirst50FramesOncePerBuffer)
{
    int overflows = 0;
    left.OnPcmOverflow = [&](TMMLevel&) { ++overflows; };
    Buffer played(silentFrames(1024));
    Buffer lateLoud(sineFrames(1024, 0.0, 0, 50));
    played.header->NextPlaying = lateLoud.header;
    connector.BufferReady(played.header);
    EXPECT_EQ(left.Spots(), 0);

    Buffer loud(constantFrames(1024, 32767, 0));
    played.header->NextPlaying = loud.header;
    for (int i = 0; i < 3; ++i)
        connector.BufferReady(played.header);
    EXPECT_EQ(overflows, 3);
}

TEST_F(ProgramConnector, ShowsThePlayedBufferWithoutAnAudibleOneAndNothingNewForAnEmptyOne)
{
    Buffer played(sineFrames(1024, 0.0, 0));
    connector.BufferReady(played.header);
    EXPECT_EQ(left.Spots(), 37);

    // An empty played buffer: the linked one is not shown either.
    connector.Stop();
    connector.Start();
    Buffer audible(sineFrames(1024, 0.0, 1));
    Buffer emptyPlayed(sineFrames(1024, 0.0, 0));
    emptyPlayed.header->BytesRecorded = 0;
    emptyPlayed.header->NextPlaying = audible.header;
    connector.BufferReady(emptyPlayed.header);
    EXPECT_EQ(left.Spots(), 0);
    EXPECT_EQ(right.Spots(), 0);

    // The linked buffer is shown even when it is empty: nothing is heard now.
    Buffer emptyAudible(sineFrames(1024, 0.0, 1));
    emptyAudible.header->BytesRecorded = 0;
    played.header->NextPlaying = emptyAudible.header;
    connector.BufferReady(played.header);
    EXPECT_EQ(left.Spots(), 0);
    EXPECT_EQ(right.Spots(), 0);

    // Unsynchronised, the played buffer is shown even when an audible one is linked.
    connector.Stop();
    connector.Start();
    connector.SetSynchronize(false);
    played.header->NextPlaying = audible.header;
    connector.BufferReady(played.header);
    EXPECT_EQ(left.Spots(), 37);
    EXPECT_EQ(right.Spots(), 0);
}

TEST_F(ProgramConnector, StoppingClearsBothMeters)
{
    Buffer both(constantFrames(1024, 32767, -32767));
    connector.BufferReady(both.header);
    ASSERT_EQ(left.Spots(), 37);
    ASSERT_EQ(right.PeakSpot(), 37);

    connector.Stop();
    for (TMMLevel* level : {&left, &right}) {
        EXPECT_EQ(level->Spots(), 0);
        EXPECT_EQ(level->PeakSpot(), 0);
        EXPECT_EQ(framePixel(*level, spotX(1), 4), kBlack);
        EXPECT_EQ(framePixel(*level, spotX(37), 4), kBlack);
    }
    // Nothing is shown while stopped.
    connector.BufferReady(both.header);
    EXPECT_EQ(left.Spots(), 0);
}

TEST_F(ProgramConnector, WithoutRefreshOnStopTheMetersKeepTheirLastState)
{
    connector.SetRefreshOnStop(false);
    Buffer loud(constantFrames(1024, 32767, 0));
    connector.BufferReady(loud.header);
    connector.Stop();
    EXPECT_EQ(left.Spots(), 37);
}

TEST_F(ProgramConnector, PausedShowsNothingUntilRestarted)
{
    Buffer loud(constantFrames(1024, 32767, 0));
    connector.Pause();
    connector.BufferReady(loud.header);
    EXPECT_EQ(left.Spots(), 0);
    connector.Restart();
    connector.BufferReady(loud.header);
    EXPECT_EQ(left.Spots(), 37);
}

TEST_F(ProgramConnector, APulledBufferIsShownAfterThePull)
{
    TMMDSPComponent source;
    source.SetWaveFormat(&kCd);
    const StereoFrames loud = constantFrames(1024, 0, 32767);
    source.OnBufferLoad = [&](TMMDSPComponent*, TMMWaveHdr* hdr, bool&) {
        std::memcpy(hdr->Data, loud.data(), hdr->BufferLength);
        hdr->BytesRecorded = hdr->BufferLength;
    };
    connector.SetInput(&source); // relinking stops the connector
    connector.Start();
    Buffer target(silentFrames(1024));
    target.header->BytesRecorded = 0;
    bool more = true;
    connector.BufferLoad(target.header, more);
    EXPECT_EQ(right.Spots(), 37);
    EXPECT_EQ(left.Spots(), 0);
}

TEST_F(ProgramConnector, RealTimeCannotChangeWhileOpen)
{
    try {
        connector.SetRealTime(true);
        FAIL() << "RealTime changed while open";
    } catch (const EMMConnectorError& e) {
        EXPECT_STREQ(e.what(), "Change to property while device was open");
    }
    EXPECT_FALSE(connector.RealTime());
    connector.Close();
    connector.SetRealTime(true);
    EXPECT_TRUE(connector.RealTime());
}

TEST_F(ProgramConnector, ManualTriggersFeedOneBlockAfterAnotherAsTheyArePlayed)
{
    connector.Stop();
    connector.SetAutoTrigger(false);
    connector.SetClock(testClock);
    connector.Start();
    // Block 0 (frames 0..49) silent, block 1 (frames 50..99) loud; 100 frames in all.
    Buffer buffer(sineFrames(100, 0.0, 0, 50));
    testNow = 1'000'000;
    connector.BufferReady(buffer.header);
    EXPECT_EQ(left.Spots(), 0) << "nothing shown until triggered";
    connector.Trigger();
    EXPECT_EQ(left.Spots(), 0);

    // Block 1 starts 200 bytes in: 1133 us (whole microseconds) of playing at 176400 bytes/s.
    testNow += 1132;
    connector.Trigger();
    EXPECT_EQ(left.Spots(), 0) << "block 1 is not audible yet";
    testNow += 1;
    connector.Trigger();
    EXPECT_EQ(left.Spots(), 37);

    // The buffer is used up: further triggers show nothing new.
    testNow += 1'000'000;
    left.Clear();
    connector.Trigger();
    EXPECT_EQ(left.Spots(), 0);
}

TEST_F(ProgramConnector, ANonPcmFormatIsRefusedByTheMeters)
{
    connector.Stop();
    TWaveFormatEx compressed = kCd;
    compressed.FormatTag = 2;
    EXPECT_THROW(connector.SetWaveFormat(&compressed), EMMLevelError);
    EXPECT_THROW(connector.Start(), EMMLevelError);
    // Whatever arrives is not shown.
    Buffer loud(constantFrames(1024, 32767, 0));
    connector.BufferReady(loud.header);
    EXPECT_EQ(left.Spots(), 0);
}

TEST(ConnectorSlots, AMeterOccupiesOneSlotAndLeavesItWhenDestroyed)
{
    TMMTickService ticks(TMMTickSource::Manual);
    TMMLevel right(ticks);
    auto left = std::make_unique<TMMLevel>(ticks);
    TMMConnector connector;
    connector.SetLevel1(left.get());
    connector.SetLevel2(&right);

    connector.SetLevel2(left.get());
    EXPECT_EQ(connector.Level2(), &right);
    EXPECT_EQ(connector.Level1(), left.get());

    left.reset();
    EXPECT_EQ(connector.Level1(), nullptr);
    EXPECT_EQ(connector.Level2(), &right);

    // A connector that goes first leaves no dangling reference in the meter.
    std::optional<TMMConnector> shortLived(std::in_place);
    shortLived->SetLevel1(&right);
    shortLived.reset();
    connector.SetLevel2(nullptr);
}
