#include "engine_test_support.h"

#include "errors.h"
#include "ring_buffer.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace qextest;

namespace {

constexpr int kSlot = 4096;

struct Pulled {
    std::vector<char> bytes;
    std::uint32_t user = 0;
    bool more = false;
};

class RingBufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const TWaveFormatEx format = cdFormat();
        ring.SetWaveFormat(&format);
        ring.SetBufferSize(kSlot);
        ring.SetNumBuffers(16);
        ring.SetQueueMode(TMMQueueMode::qmDuplex);
        ring.OnOverlow = [this](TMMDSPComponent*) { ++overflows; };
        ring.OnEmpty = [this](TMMDSPComponent*) { ++empties; };
    }

    // Pushes a buffer whose every byte is value.
    void Push(char value, std::uint32_t length = kSlot, std::uint32_t user = 0)
    {
        std::vector<char> data(length, value);
        TMMWaveHdr header{};
        header.Data = data.data();
        header.BufferLength = length;
        header.BytesRecorded = length;
        header.User = user;
        ring.BufferReady(&header);
    }

    Pulled Pull(std::uint32_t wanted = kSlot)
    {
        Pulled result;
        result.bytes.assign(wanted, 'x');
        TMMWaveHdr header{};
        header.Data = result.bytes.data();
        header.BufferLength = wanted;
        ring.BufferLoad(&header, result.more);
        result.bytes.resize(header.BytesRecorded);
        result.user = header.User;
        return result;
    }

    // Fills nine slots and reads through the priming, so that the next read returns data.
    void Prime()
    {
        for (char v = 1; v <= 9; ++v)
            Push(v);
        ASSERT_EQ(Pull().bytes, std::vector<char>(kSlot, 0));
    }

    TMMRingBuffer ring;
    int overflows = 0;
    int empties = 0;
};

} // namespace

TEST_F(RingBufferTest, PlaysSilenceUntilMoreThanHalfTheSlotsAreFilled)
{
    ring.Open();
    for (char v = 1; v <= 8; ++v) {
        Push(v);
        const Pulled silence = Pull();
        EXPECT_EQ(silence.bytes, std::vector<char>(kSlot, 0)) << "after " << int(v) << " buffers";
        EXPECT_TRUE(silence.more);
    }
    // Priming reads do not consume anything.
    EXPECT_EQ(ring.FilledCount(), 8);
    Push(9);
    EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, 0)) << "the read that sees nine slots is still silence";
    EXPECT_EQ(ring.FilledCount(), 9);
    for (char v = 1; v <= 9; ++v)
        EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, v));
    EXPECT_EQ(empties, 0);
}

TEST_F(RingBufferTest, AFullRingDropsTheNewestBufferAndKeepsWhatItHolds)
{
    ring.Open();
    for (int i = 1; i <= 16; ++i)
        Push(static_cast<char>(i), kSlot, static_cast<std::uint32_t>(100 + i));
    EXPECT_TRUE(ring.Full());
    EXPECT_EQ(ring.FreeBytes(), 0);
    Push(17);
    EXPECT_EQ(overflows, 1);
    EXPECT_EQ(ring.FilledCount(), 16);

    Pull(); // primes
    for (int i = 1; i <= 16; ++i) {
        const Pulled pulled = Pull();
        EXPECT_EQ(pulled.bytes, std::vector<char>(kSlot, static_cast<char>(i)));
        EXPECT_EQ(pulled.user, static_cast<std::uint32_t>(100 + i)) << "the User word travels with the slot";
    }
    EXPECT_TRUE(ring.Empty());
}

TEST_F(RingBufferTest, AnEmptyRingAnswersSilenceOrRepeatsTheLastSlot)
{
    ring.Open();
    Prime();
    for (char v = 1; v <= 9; ++v)
        Pull();
    const Pulled silence = Pull();
    EXPECT_EQ(silence.bytes, std::vector<char>(kSlot, 0));
    EXPECT_TRUE(silence.more) << "a duplex ring never ends";
    EXPECT_EQ(empties, 1);

    // Still primed after the underrun: a new slot is read as soon as it arrives.
    Push(42);
    EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, 42));

    ring.SetLoopIfEmpty(true);
    EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, 42));
    EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, 42));
    EXPECT_EQ(empties, 3);
}

TEST_F(RingBufferTest, EightBitSilenceIsTheMidValue)
{
    const TWaveFormatEx format = pcmWaveFormat(8, 1, 22050);
    ring.SetWaveFormat(&format);
    ring.Open();
    EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, static_cast<char>(128)));
}

TEST_F(RingBufferTest, PartialReadsKeepTheRestOfTheSlotCurrent)
{
    ring.Open();
    std::vector<char> data = patternBytes(0, kSlot);
    for (int i = 0; i < 9; ++i) {
        TMMWaveHdr header{};
        header.Data = data.data();
        header.BufferLength = header.BytesRecorded = kSlot;
        ring.BufferReady(&header);
    }
    Pull();
    const Pulled first = Pull(1000);
    EXPECT_EQ(first.bytes, patternBytes(0, 1000));
    EXPECT_EQ(ring.FilledCount(), 9);
    EXPECT_EQ(ring.BytesStored(), 9 * kSlot - 1000);
    const Pulled rest = Pull(kSlot);
    EXPECT_EQ(rest.bytes, patternBytes(1000, kSlot - 1000)) << "a read never spans two slots";
    EXPECT_EQ(ring.FilledCount(), 8);
    EXPECT_EQ(Pull(kSlot).bytes, data);
}

TEST_F(RingBufferTest, PushesLongerThanASlotAreCut)
{
    ring.Open();
    Push(5, kSlot + 904);
    EXPECT_EQ(ring.BytesStored(), kSlot);
}

TEST_F(RingBufferTest, DisabledDropsPushesButStillAnswers)
{
    ring.Open();
    ring.SetEnabled(false);
    for (int i = 0; i < 12; ++i)
        Push(3);
    EXPECT_TRUE(ring.Empty());
    EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, 0));
}

TEST_F(RingBufferTest, StopDiscardsWhatIsStoredAndPrimesAgain)
{
    ring.Open();
    Prime();
    ring.Start();
    ring.Stop();
    EXPECT_TRUE(ring.Empty());
    Push(7);
    EXPECT_EQ(Pull().bytes, std::vector<char>(kSlot, 0)) << "unprimed again after a stop";
}

TEST_F(RingBufferTest, PropertiesAreRefusedWhileAllocated)
{
    ring.Open();
    auto expectRefused = [](const std::function<void()>& change) {
        try {
            change();
            FAIL() << "the change was accepted";
        } catch (const EMMBufferError& error) {
            EXPECT_STREQ(error.what(), "Change to property while device was open");
        }
    };
    expectRefused([this] { ring.SetNumBuffers(8); });
    expectRefused([this] { ring.SetBufferSize(1024); });
    expectRefused([this] { ring.SetQueueMode(TMMQueueMode::qmRead); });
    // Values that change nothing are no change.
    EXPECT_NO_THROW(ring.SetNumBuffers(16));
    EXPECT_NO_THROW(ring.SetNumBuffers(1));

    ring.Close();
    ring.SetNumBuffers(8);
    ring.SetBufferSize(10);
    EXPECT_EQ(ring.GetNumBuffers(), 8);
    EXPECT_EQ(ring.GetBufferSize(), 32);
}

TEST_F(RingBufferTest, ReadModeFillsFromItsInputOnTheQueueThread)
{
    PatternSource source(1); // one pull's worth, which fills the ring exactly
    int fills = 0, fillEnds = 0;
    ring.OnFillQueue = [&](TMMDSPComponent*) { ++fills; };
    ring.OnFillQueueEnd = [&](TMMDSPComponent*) { ++fillEnds; };
    ring.SetQueueMode(TMMQueueMode::qmRead);
    ring.SetInput(&source);
    ring.Open();
    // The first read waits for the queue thread's round.
    std::vector<char> received;
    for (int i = 0; i < 16; ++i) {
        const Pulled pulled = Pull();
        received.insert(received.end(), pulled.bytes.begin(), pulled.bytes.end());
        EXPECT_EQ(pulled.more, i < 15) << "the source's end is marked on its last slot";
    }
    EXPECT_EQ(received, patternBytes(0, 16 * kSlot));
    ring.Close();
    EXPECT_GE(fills, 1);
    EXPECT_EQ(fills, fillEnds);
}

TEST_F(RingBufferTest, WriteModeFlushesToItsOutputOnTheQueueThread)
{
    BufferSink sink;
    ring.SetQueueMode(TMMQueueMode::qmWrite);
    ring.SetWaitIfFull(true);
    ring.SetOutput(&sink);
    ring.Open();
    std::vector<char> pushed;
    for (int i = 0; i < 40; ++i) {
        std::vector<char> data = patternBytes(static_cast<std::uint64_t>(i) * 1000, 1000);
        pushed.insert(pushed.end(), data.begin(), data.end());
        TMMWaveHdr header{};
        header.Data = data.data();
        header.BufferLength = header.BytesRecorded = 1000;
        ring.BufferReady(&header);
    }
    ring.Close(); // flushes what is left
    EXPECT_EQ(overflows, 0);
    EXPECT_EQ(sink.Bytes(), pushed);
}
