// What the status line reports of a running chain on virtual devices: the dropouts of each kind,
// counted from Start, across an output thread that stalls, an input thread that stalls and a
// module that returns nothing; and the delay it works out from the queues, against the delay a
// marked frame actually takes from the input to the output.

#include "engine_test_support.h"

#include "chain_monitor.h"
#include "dsp_plugin.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace qextest;

namespace {

constexpr int kBufferBytes = 4096;
constexpr int kBufferFrames = kBufferBytes / kCdFrameBytes;
constexpr double kBufferMs = kBufferFrames * 1000.0 / 44100;

// Holds every thread that passes it while it is closed.
class Gate {
public:
    void Close()
    {
        std::lock_guard guard(lock_);
        closed_ = true;
    }
    void Open()
    {
        std::lock_guard guard(lock_);
        closed_ = false;
        changed_.notify_all();
    }
    void Pass()
    {
        std::unique_lock guard(lock_);
        ++waiting_;
        changed_.wait(guard, [this] { return !closed_; });
        --waiting_;
    }
    bool Holding() const
    {
        std::lock_guard guard(lock_);
        return waiting_ > 0;
    }

private:
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool closed_ = false;
    int waiting_ = 0;
};

// A plain component whose pulls pass a gate: a consumer that stalls.
class GatedPull : public TMMDSPComponent {
public:
    Gate gate;
    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override
    {
        gate.Pass();
        TMMDSPComponent::BufferLoad(lpWaveHdr, moreBuffers);
    }
};

class ChainMonitorTest : public VirtualDeviceTest {
protected:
    void SetUp() override
    {
        VirtualDeviceTest::SetUp();
        UseTestInput(wi, kBufferBytes, 4);
        ring.SetNumBuffers(8);
        ring.SetQueueMode(TMMQueueMode::qmDuplex);
        UseSilentOutput(wo, 4);
        wi.SetOutput(&ring);
        ring.SetOutput(&pull);
        pull.SetOutput(&host);
        host.SetOutput(&wo);
        wi.OnBufferReady = [this](TMMDSPComponent*, TMMWaveHdr* header) {
            ++pushes;
            Recorded(header);
            inputGate.Pass();
        };
        wo.OnBufferFilled = [this](TMMDSPComponent*, TMMWaveHdr*) { ++fills; };
        wo.OnBufferReady = [this](TMMDSPComponent*, TMMWaveHdr* header) { Played(header); };
    }

    void TearDown() override
    {
        inputGate.Open();
        pull.gate.Open();
        wi.Close();
        VirtualDeviceTest::TearDown();
    }

    void RunPeriods(int periods) { VirtualDeviceTest::RunPeriods(periods, kBufferFrames, pushes, fills); }

    // Moves on a period at a time, each once the counter has moved on too.
    void AdvanceWhile(int periods, const std::atomic<int>& counter)
    {
        for (int n = 0; n < periods; ++n) {
            const int wanted = counter.load() + 1;
            AdvanceFrames(kBufferFrames);
            ASSERT_TRUE(PumpUntil([&] { return counter.load() >= wanted; })) << "period " << n;
        }
    }

    // Input thread: silence, with one loud frame at markFrame of the stream when asked.
    void Recorded(TMMWaveHdr* header)
    {
        const std::int64_t frames = header->BytesRecorded / kCdFrameBytes;
        std::memset(header->Data, 0, header->BytesRecorded);
        const std::int64_t at = markFrame - recordedFrames;
        if (at >= 0 && at < frames)
            std::memset(header->Data + at * kCdFrameBytes, 0x40, kCdFrameBytes);
        recordedFrames += frames;
    }

    // Output thread: where in the played stream the loud frame came.
    void Played(const TMMWaveHdr* header)
    {
        const std::int64_t frames = header->BytesRecorded / kCdFrameBytes;
        for (std::int64_t i = 0; i < frames && heardFrame < 0; ++i)
            if (header->Data[i * kCdFrameBytes] != 0)
                heardFrame = playedFrames + i;
        playedFrames += frames;
    }

    TMMWaveIn wi;
    TMMRingBuffer ring;
    GatedPull pull;
    TMMDSPPlugin host;
    TMMWaveOut wo;
    TMMChainMonitor monitor{wi, ring, host, wo};
    Gate inputGate;
    std::atomic<int> pushes{0}, fills{0};
    std::int64_t markFrame = -1;
    std::int64_t recordedFrames = 0; // input thread
    std::int64_t playedFrames = 0;   // output thread
    std::atomic<std::int64_t> heardFrame{-1};
};

} // namespace

TEST_F(ChainMonitorTest, DropoutsAreCountedByKindFromStart)
{
    TestPlugin plugin("tp_published");
    ASSERT_TRUE(host.LoadModuleFile(plugin.path));
    host.OpenModules(nullptr);
    host.SelectModule(0);
    StartChain(wi, host);
    monitor.Begin();
    RunPeriods(10);
    EXPECT_EQ(monitor.Dropouts().Total(), 0u) << "a steady chain drops nothing";

    // The output's thread stalls in a pull while the input records on: the ring runs full and
    // drops what comes, and the output device runs dry.
    pull.gate.Close();
    AdvanceFrames(kBufferFrames);
    ASSERT_TRUE(PumpUntil([this] { return pull.gate.Holding(); }));
    AdvanceWhile(12, pushes);
    pull.gate.Open();
    ASSERT_TRUE(PumpUntil([this] { return monitor.Dropouts().outputUnderruns > 0; }));
    EXPECT_GT(monitor.Dropouts().ringOverflows, 0u);
    EXPECT_EQ(monitor.Dropouts().inputOverruns, 0u);

    // The input's thread stalls: the input device has nowhere to record, and the output drains
    // the ring.
    inputGate.Close();
    AdvanceFrames(kBufferFrames);
    ASSERT_TRUE(PumpUntil([this] { return inputGate.Holding(); }));
    AdvanceWhile(10, fills);
    inputGate.Open();
    ASSERT_TRUE(PumpUntil([this] { return monitor.Dropouts().inputOverruns > 0; }));
    EXPECT_GT(monitor.Dropouts().ringUnderruns, 0u);
    EXPECT_EQ(monitor.Dropouts().hostPaddings, 0u);
    const TMMChainDropouts dropouts = monitor.Dropouts();
    EXPECT_EQ(dropouts.Total(),
              dropouts.inputOverruns + dropouts.outputUnderruns + dropouts.ringOverflows + dropouts.ringUnderruns +
                  dropouts.hostPaddings);
    EXPECT_EQ(chainStatusText({}, dropouts), "Delay 0 ms, " + std::to_string(dropouts.Total()) + " dropouts");

    // A new start counts afresh; a module that returns nothing has the host pad with silence.
    wi.Stop();
    plugin.control->returnNumerator = 0;
    StartChain(wi, host);
    monitor.Begin();
    AdvanceWhile(2, fills);
    EXPECT_GT(monitor.Dropouts().hostPaddings, 0u);
    EXPECT_EQ(monitor.Dropouts().Total(), monitor.Dropouts().hostPaddings);
    wi.Stop();
    host.UnloadModules();
}

TEST_F(ChainMonitorTest, TheDelayShownIsTheDelayAFrameTakesWithinOneBuffer)
{
    markFrame = 12 * kBufferFrames + 100;
    StartChain(wi, host);
    monitor.Begin();
    RunPeriods(30);
    ASSERT_GE(heardFrame.load(), 0) << "the marked frame was played";
    const double measuredMs = static_cast<double>(heardFrame.load() - markFrame) * 1000.0 / 44100;
    const TMMChainDelay delay = monitor.Delay();
    EXPECT_NEAR(delay.Total(), measuredMs, kBufferMs);
    EXPECT_GT(delay.ring, 0.0);
    EXPECT_GT(delay.output, 0.0);
    EXPECT_EQ(delay.module, 0.0) << "no module, no delay of its own";
    EXPECT_EQ(monitor.Dropouts().Total(), 0u);
    wi.Stop();
    EXPECT_EQ(monitor.Delay().Total(), 0.0) << "nothing is delayed once stopped";
}
