// A running chain on virtual devices, as the main window drives it: input, ring buffer, plug-in
// host, output. What the main thread does while the output's thread is in the middle of a
// buffer (Stop, Apply's closes, Exit, Stop and Start in one go): the main thread waits for that
// buffer and never changes a component's state under the output's thread. Devices that fail
// while running, and a module that faults.

#include "engine_test_support.h"

#include "dsp_plugin.h"
#include "dsp_thread.h"
#include "engine_notice.h"
#include "ring_buffer.h"
#include "wave_in.h"
#include "wave_out.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

using namespace qextest;
namespace wave = qex::platform::wave;

namespace {

constexpr int kBufferBytes = 4096;
constexpr int kBufferFrames = kBufferBytes / kCdFrameBytes;
constexpr int kRingSlots = 8;
// How long a held pull lasts when nothing lets it go earlier: the main thread waits for it.
constexpr std::chrono::milliseconds kHeldPull{300};

class RunningChainTest : public VirtualDeviceTest {
protected:
    // Devices the tests make fail, listed before the components read the device counts.
    static void SetUpTestSuite()
    {
        if (failingInput_ >= 0)
            return;
        failingInput_ = wave::addVirtualDevice(WaveDirection::Input, {"Failing input (virtual)"});
        failingOutput_ = wave::addVirtualDevice(WaveDirection::Output, {"Failing output (virtual)"});
    }

    void SetUp() override
    {
        VirtualDeviceTest::SetUp();
        UseTestInput(wi, kBufferBytes, 4);
        ring.SetNumBuffers(kRingSlots);
        ring.SetQueueMode(TMMQueueMode::qmDuplex);
        UseSilentOutput(wo, 4);

        wi.SetOutput(&ring);
        ring.SetOutput(&hold);
        hold.SetOutput(&host);
        host.SetOutput(&wo);
        wo.SetOutput(&sink);

        wi.OnBufferReady = [this](TMMDSPComponent*, TMMWaveHdr*) { ++pushes; };
        wo.OnBufferFilled = [this](TMMDSPComponent*, TMMWaveHdr*) { ++fills; };
        wo.OnStop = [this](TMMDSPComponent*) { ++outputStops; };
    }

    void TearDown() override
    {
        wi.Close();
        wo.Close();
        wave::setVirtualDeviceFailure(WaveDirection::Input, failingInput_, 0);
        wave::setVirtualDeviceFailure(WaveDirection::Output, failingOutput_, 0);
        VirtualDeviceTest::TearDown();
    }

    void StartChain() { VirtualDeviceTest::StartChain(wi, host); }

    void RunPeriods(int periods) { VirtualDeviceTest::RunPeriods(periods, kBufferFrames, pushes, fills); }

    // Lets the next period begin and the output's thread run into a pull that takes a while.
    void HoldTheOutputInItsNextPull()
    {
        hold.Arm(kHeldPull);
        AdvanceFrames(kBufferFrames);
        ASSERT_TRUE(hold.WaitUntilHolding());
    }

    // What must hold once the main thread is back from a stop or close that came mid-buffer.
    void ExpectTheBufferWasFinishedFirst()
    {
        EXPECT_FALSE(hold.Holding()) << "the output's buffer was finished first";
        EXPECT_EQ(hold.CallsUnderPull(), 0) << "no component was stopped or closed under the output's thread";
    }

    static int failingInput_;
    static int failingOutput_;

    TMMWaveIn wi;
    TMMRingBuffer ring;
    PullHold hold;
    TMMDSPPlugin host;
    TMMWaveOut wo;
    BufferSink sink;
    std::atomic<int> pushes{0}, fills{0}, outputStops{0};
};

int RunningChainTest::failingInput_ = -2;
int RunningChainTest::failingOutput_ = -2;

std::string errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

} // namespace

TEST_F(RunningChainTest, AStopOnTheMainThreadWaitsForTheOutputsBuffer)
{
    StartChain();
    RunPeriods(3);
    HoldTheOutputInItsNextPull();
    wi.Stop();
    ExpectTheBufferWasFinishedFirst();
    EXPECT_FALSE(wo.Started());
    EXPECT_FALSE(ring.Started());
    EXPECT_TRUE(wo.DeviceOpen()) << "Stop leaves the devices open";
    EXPECT_EQ(outputStops.load(), 1);
    dispatcher_.pump();
    EXPECT_EQ(outputStops.load(), 1) << "nothing was left for the main thread to stop later";
}

TEST_F(RunningChainTest, ApplyWhileTheOutputIsMidBufferClosesBothDevices)
{
    StartChain();
    RunPeriods(3);
    HoldTheOutputInItsNextPull();
    wi.Close();
    wo.Close();
    ExpectTheBufferWasFinishedFirst();
    EXPECT_FALSE(wi.DeviceOpen());
    EXPECT_FALSE(wo.DeviceOpen());
    EXPECT_EQ(dspThreadCount(), 0);

    StartChain();
    RunPeriods(3);
    EXPECT_TRUE(wo.Started()) << "the chain runs again with the new settings";
}

TEST_F(RunningChainTest, StopAndStartInOneMainThreadTaskKeepsTheNewRun)
{
    StartChain();
    RunPeriods(3);
    HoldTheOutputInItsNextPull();
    wi.Stop();
    StartChain();
    ExpectTheBufferWasFinishedFirst();
    RunPeriods(kRingSlots + 2);
    EXPECT_TRUE(wi.Started());
    EXPECT_TRUE(wo.Started()) << "no stop of the first run is left over for the second";
    EXPECT_EQ(outputStops.load(), 1);
}

TEST_F(RunningChainTest, ExitWhileTheOutputIsMidBufferUnloadsTheModuleAfterItsBuffer)
{
    TestPlugin plugin("tp_published");
    ASSERT_TRUE(host.LoadModuleFile(plugin.path));
    host.OpenModules();
    host.SelectModule(0);
    StartChain();
    RunPeriods(3);
    HoldTheOutputInItsNextPull();
    host.UnloadModules();
    wi.Close();
    ExpectTheBufferWasFinishedFirst();
    EXPECT_EQ(plugin.control->quitCalls, 1);
    EXPECT_FALSE(wi.DeviceOpen());
    EXPECT_FALSE(wo.DeviceOpen());
    EXPECT_EQ(dspThreadCount(), 0);
}

TEST_F(RunningChainTest, AStopAskedForInsideTheOutputsHandlerAndApplyRightAfterLeaveNothingRunning)
{
    std::atomic<bool> stopInside{false}, stoppedInside{false};
    std::atomic<int> lingerMs{0};
    wo.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) {
        if (stopInside.exchange(false)) {
            wo.Stop();
            stoppedInside = true;
            // Lets the main thread's closes come while the handler is still on its way out.
            std::this_thread::sleep_for(std::chrono::milliseconds(lingerMs.load()));
        }
    };
    // The main thread's closes meet the handler at varying points of its end: before it asks for
    // the stop, and while it pauses the device and asks; the output closed first or with the chain.
    for (int round = 0; round < 12; ++round) {
        StartChain();
        RunPeriods(2);
        lingerMs = round % 2 == 0 ? 0 : 20;
        stopInside = true;
        AdvanceFrames(kBufferFrames);
        ASSERT_TRUE(PumpUntil([&] { return stoppedInside.load(); }));
        stoppedInside = false;
        if (round % 4 >= 2)
            wo.Close();
        wi.Close();
        wo.Close();
        EXPECT_FALSE(wo.DeviceOpen()) << "round " << round;
        EXPECT_EQ(dspThreadCount(), 0) << "round " << round;
        dispatcher_.pump();
    }
}

TEST_F(RunningChainTest, AModuleThatFaultsLeavesTheStreamRunningUnprocessedUntilStopAndStart)
{
    TestPlugin plugin("tp_faulting");
    ASSERT_TRUE(host.LoadModuleFile(plugin.path));
    host.OpenModules();
    host.SelectModule(0);
    plugin.control->faultOnProcess = kNullWrite;
    Notices notices;
    StartChain();
    RunPeriods(2 * kRingSlots);
    EXPECT_TRUE(wo.Started());
    EXPECT_EQ(counted(plugin.control->processCalls), 1);
    const std::vector<std::uint32_t> sizes = sink.Sizes();
    EXPECT_TRUE(std::all_of(sizes.begin(), sizes.end(), [](std::uint32_t size) { return size == kBufferBytes; }));
    const std::vector<char> played = sink.Bytes();
    EXPECT_TRUE(std::any_of(played.begin(), played.end(), [](char c) { return c != 0; })) << "the input is heard";
    EXPECT_TRUE(PumpUntil([&] { return notices.Count() == 1; }));

    // Stop and Start load the module again, and its processing is heard.
    plugin.control->faultOnProcess = 0;
    wi.Stop();
    StartChain();
    RunPeriods(2 * kRingSlots);
    EXPECT_EQ(host.ModuleFault(), 0);
    EXPECT_GT(counted(plugin.control->processCalls), 1);
    EXPECT_EQ(notices.Count(), 1u);
}

TEST_F(RunningChainTest, AnOutputDeviceThatFailsIsReportedAndClosedAndStopStartRecoversOnceItIsBack)
{
    Notices notices;
    int outputErrors = 0, outputCloses = 0;
    wo.OnError = [&](TMMDSPComponent*) { ++outputErrors; };
    wo.OnClose = [&](TMMDSPComponent*) { ++outputCloses; };
    wo.SetDeviceID(failingOutput_);
    StartChain();
    RunPeriods(3);

    wave::setVirtualDeviceFailure(WaveDirection::Output, failingOutput_, -ENODEV);
    AdvanceFrames(kBufferFrames);
    ASSERT_TRUE(PumpUntil([&] { return notices.Count() == 1 && !wo.DeviceOpen(); }));
    EXPECT_EQ(notices.Seen()[0].kind, TMMNoticeKind::Error);
    EXPECT_EQ(notices.Seen()[0].text, "WaveOutWrite:\n\rNo such device");
    EXPECT_EQ(outputErrors, 1);
    EXPECT_EQ(outputCloses, 1);
    EXPECT_TRUE(wi.Started()) << "the input goes on until the operator stops it";

    // Stop and Start while the device is still gone: the start says why it cannot open.
    wi.Stop();
    EXPECT_EQ(errorText([&] { StartChain(); }), "WaveOutOpen:\n\rNo such device");
    EXPECT_FALSE(wi.DeviceOpen());
    EXPECT_FALSE(wo.DeviceOpen());

    // Back again: Start plays as before.
    wave::setVirtualDeviceFailure(WaveDirection::Output, failingOutput_, 0);
    StartChain();
    RunPeriods(kRingSlots + 2);
    EXPECT_TRUE(wo.Started());
    EXPECT_EQ(notices.Count(), 1u);
}

TEST_F(RunningChainTest, AnInputDeviceThatFailsIsReportedAndClosedAndStopStartRecoversOnceItIsBack)
{
    Notices notices;
    int inputErrors = 0, inputCloses = 0;
    wi.OnError = [&](TMMDSPComponent*) { ++inputErrors; };
    wi.OnClose = [&](TMMDSPComponent*) { ++inputCloses; };
    wi.SetDeviceID(failingInput_);
    StartChain();
    RunPeriods(3);

    wave::setVirtualDeviceFailure(WaveDirection::Input, failingInput_, -ENODEV);
    AdvanceFrames(kBufferFrames);
    ASSERT_TRUE(PumpUntil([&] { return notices.Count() == 1 && !wi.DeviceOpen(); }));
    EXPECT_EQ(notices.Seen()[0].kind, TMMNoticeKind::Error);
    EXPECT_EQ(notices.Seen()[0].text, "WaveInAddBuffer:\n\rNo such device");
    EXPECT_EQ(inputErrors, 1);
    EXPECT_EQ(inputCloses, 1);
    EXPECT_FALSE(wi.Started());
    EXPECT_FALSE(wo.Started()) << "the input's stop stopped the chain";

    EXPECT_EQ(errorText([&] { StartChain(); }), "WaveInOpen:\n\rNo such device");
    EXPECT_FALSE(wi.DeviceOpen());

    wave::setVirtualDeviceFailure(WaveDirection::Input, failingInput_, 0);
    StartChain();
    RunPeriods(kRingSlots + 2);
    EXPECT_TRUE(wi.Started());
    EXPECT_TRUE(wo.Started());
    EXPECT_EQ(notices.Count(), 1u);
}
