// The whole road of a buffer on virtual devices: test-signal input, ring buffer, plug-in host
// with the processing module, silent output, each device on its own thread, the clock moved by
// the test one buffer at a time.

#include "engine_test_support.h"
#include "module_reference.h"

#include "dsp_plugin.h"
#include "dsp_thread.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

#include <gtest/gtest.h>

#include <optional>

using namespace qextest;

namespace {

constexpr int kBufferBytes = 4096;
constexpr int kBufferFrames = kBufferBytes / kCdFrameBytes;
constexpr int kOutputBuffers = 8;
constexpr int kRingSlots = 16;
constexpr int kPeriods = 90; // about two seconds

class EngineChainTest : public VirtualDeviceTest {
protected:
    void SetUp() override
    {
        VirtualDeviceTest::SetUp();
        UseTestInput(wi, kBufferBytes, 8);
        ring.SetNumBuffers(kRingSlots);
        ring.SetQueueMode(TMMQueueMode::qmDuplex);
        wo.SetBufferSize(2 * kBufferBytes);
        UseSilentOutput(wo, kOutputBuffers);

        wi.SetOutput(&ring);
        ring.SetOutput(&host);
        host.SetOutput(&wo);
        wo.SetOutput(&sink);

        wi.OnBufferReady = [this](TMMDSPComponent*, TMMWaveHdr* header) {
            std::lock_guard guard(lock);
            recorded.insert(recorded.end(), header->Data, header->Data + header->BytesRecorded);
            ++pushes;
        };
        wo.OnBufferFilled = [this](TMMDSPComponent*, TMMWaveHdr*) { ++fills; };
        ring.OnOverlow = [this](TMMDSPComponent*) { ++overflows; };
        ring.OnEmpty = [this](TMMDSPComponent*) { ++empties; };
    }

    void TearDown() override
    {
        wi.Close();
        VirtualDeviceTest::TearDown();
    }

    void StartChain() { VirtualDeviceTest::StartChain(wi, host); }

    void RunPeriods(int periods) { VirtualDeviceTest::RunPeriods(periods, kBufferFrames, pushes, fills); }

    // Starts the chain as the main window does, runs it and stops it.
    void Run(int periods)
    {
        StartChain();
        ASSERT_EQ(fills.load(), kOutputBuffers) << "the output preloads every buffer";
        RunPeriods(periods);
        wi.Stop();
        wi.Close();
        EXPECT_EQ(dspThreadCount(), 0);
    }

    std::vector<char> Recorded()
    {
        std::lock_guard guard(lock);
        return recorded;
    }

    TMMWaveIn wi;
    TMMRingBuffer ring;
    TMMDSPPlugin host;
    TMMWaveOut wo;
    BufferSink sink;

    std::mutex lock;
    std::vector<char> recorded;
    std::atomic<int> pushes{0}, fills{0}, overflows{0}, empties{0};
};

// Silence while the output preloads and the ring primes: the output's own buffers, then the
// reads up to and including the one that finds more than half of the slots filled. Which read
// that is depends on whether the input's push or the output's pull of a period comes first.
constexpr int kFewestSilentBuffers = kOutputBuffers + kRingSlots / 2;
constexpr int kMostSilentBuffers = kOutputBuffers + kRingSlots / 2 + 2;

} // namespace

TEST_F(EngineChainTest, OpeningFromTheInputGivesEveryComponentTheInputBufferSize)
{
    wi.Open();
    EXPECT_EQ(ring.GetBufferSize(), kBufferBytes);
    EXPECT_EQ(host.GetBufferSize(), kBufferBytes);
    EXPECT_EQ(wo.GetBufferSize(), kBufferBytes);
    EXPECT_TRUE(wo.HasSoundInput());
    wi.Close();
    EXPECT_FALSE(wo.DeviceOpen());
    EXPECT_FALSE(ring.Opened());
}

TEST_F(EngineChainTest, BypassedTheOutputPlaysTheInputDelayedByThePriming)
{
    host.SetEnabled(false);
    Run(kPeriods);
    const std::vector<char> played = sink.Bytes();
    ASSERT_EQ(played.size(), static_cast<std::size_t>(kPeriods) * kBufferBytes);
    std::size_t silent = 0;
    while (silent < played.size() && played[silent] == 0)
        ++silent;
    silent -= silent % kBufferBytes;
    EXPECT_GE(silent, static_cast<std::size_t>(kFewestSilentBuffers) * kBufferBytes);
    EXPECT_LE(silent, static_cast<std::size_t>(kMostSilentBuffers) * kBufferBytes);
    const std::vector<char> input = Recorded();
    EXPECT_TRUE(std::equal(played.begin() + static_cast<std::ptrdiff_t>(silent), played.end(), input.begin()))
        << "every recorded buffer is played once, in order";
    EXPECT_EQ(overflows.load(), 0);
    EXPECT_EQ(empties.load(), 0);
}

TEST_F(EngineChainTest, TheOutputIsTheModulesProcessingOfTheInputDelayedByThePriming)
{
    ASSERT_TRUE(host.LoadModuleFile(QEX_MODULE_FILE));
    host.OpenModules();
    host.SelectModule(0);
    Run(kPeriods);
    host.UnloadModules();

    const std::vector<char> played = sink.Bytes();
    const std::vector<char> input = Recorded();
    ASSERT_EQ(played.size(), static_cast<std::size_t>(kPeriods) * kBufferBytes);
    ASSERT_EQ(input.size(), played.size());
    EXPECT_EQ(overflows.load(), 0);
    EXPECT_EQ(empties.load(), 0);

    // The module, on its own, given the same silence and then the same input, buffer by buffer.
    std::optional<int> matched;
    for (int silent = kFewestSilentBuffers; silent <= kMostSilentBuffers && !matched; ++silent) {
        std::vector<char> expected(static_cast<std::size_t>(silent) * kBufferBytes, 0);
        expected.insert(expected.end(), input.begin(),
                        input.end() - static_cast<std::ptrdiff_t>(silent) * kBufferBytes);
        ModuleReference(QEX_MODULE_FILE).Process(expected, 2, 44100, kBufferFrames);
        if (expected == played)
            matched = silent;
    }
    EXPECT_TRUE(matched.has_value()) << "no dropped, repeated or differently processed buffer";
}

TEST_F(EngineChainTest, APausedChainPlaysAgainAfterItsRestart)
{
    host.SetEnabled(false);
    StartChain();
    RunPeriods(20);
    wi.Pause();
    EXPECT_TRUE(wo.Paused());
    wi.Restart();
    // The output's buffers came back at the pause; the restart fills and queues them again.
    EXPECT_EQ(fills.load(), kOutputBuffers + 20 + kOutputBuffers);
    const int played = sink.Count();
    RunPeriods(5);
    EXPECT_EQ(sink.Count(), played + 5);
    wi.Stop();
    wi.Close();
}
