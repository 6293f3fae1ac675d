#include "allocator.h"
#include "conversions.h"
#include "errors.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(BlockPool, ReleasedBlocksAreReusedForTheSameSizeOnly)
{
    TMMAllocator pool;
    void* a = pool.GetBlock(4160);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(static_cast<unsigned char*>(a)[4159], 0);
    std::memset(a, 0x5a, 4160);
    void* kept = a;
    pool.FreeBlock(a);
    EXPECT_EQ(a, nullptr);

    void* other = pool.GetBlock(2048);
    EXPECT_NE(other, kept);
    void* again = pool.GetBlock(4160);
    EXPECT_EQ(again, kept);
    EXPECT_EQ(pool.BlockCount(), 2u);
    void* third = pool.GetBlock(4160);
    EXPECT_NE(third, kept);

    pool.Empty();
    EXPECT_EQ(pool.BlockCount(), 0u);
}

TEST(Conversions, RoundToNearestAndUpToWholeFrames)
{
    const TWaveFormatEx cd = pcmWaveFormat(16, 2, 44100);
    EXPECT_EQ(bytesToSamples(4096, cd), 1024);
    EXPECT_EQ(bytesToSamples(4098, cd), 1025); // 1024.5 rounds up
    EXPECT_EQ(bytesToMilliseconds(4096, cd), 23);
    EXPECT_EQ(bytesToMilliseconds(176400, cd), 1000);
    EXPECT_EQ(samplesToBytes(1, cd), 4);
    EXPECT_EQ(millisecondsToBytes(3, cd), 532); // 529.2 -> 529 -> next whole frame
    EXPECT_EQ(millisecondsToBytes(10, cd), 1764);
    EXPECT_EQ(mulDivRound(-5, 1, 2), -3);
    EXPECT_EQ(mulDivRound(1, 1, 0), 0);
}

TEST(ErrorTexts, DeviceCallsReadAsNameColonLineFeedCarriageReturnText)
{
    EXPECT_EQ(deviceCallMessage("WaveInOpen", MMErrorText(kErrCannotRecordFormat)),
              "WaveInOpen:\n\rThe actual device can''t record this format");
    EXPECT_EQ(MMErrorText(60), "Change to property while device was open");
    EXPECT_EQ(MMErrorText(161), "No wave audio playing device found");
    EXPECT_EQ(MMErrorText(12345), "Specified error number is out of range (unknown error)");
}
