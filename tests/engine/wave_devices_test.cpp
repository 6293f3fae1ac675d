#include "engine_test_support.h"

#include "dsp_thread.h"
#include "engine_notice.h"
#include "errors.h"
#include "wave_in.h"
#include "wave_out.h"

#include "allocation_counter.h"

#include "platform/wave/test_signal.h"

#include <gtest/gtest.h>

#include <thread>

using namespace qextest;
namespace wave = qex::platform::wave;

namespace {

constexpr int kBufferBytes = 4096;
constexpr int kBufferFrames = kBufferBytes / kCdFrameBytes;

// The test signal as the virtual input records it, in the program's format.
std::vector<char> testSignal(std::uint64_t firstFrame, std::uint32_t frames)
{
    std::vector<char> bytes(static_cast<std::size_t>(frames) * kCdFrameBytes);
    const wave::WaveFormatEx format{1, 2, 44100, 44100 * kCdFrameBytes, kCdFrameBytes, 16, 0};
    wave::ProgramSignal(44100).render(firstFrame, frames, format, bytes.data());
    return bytes;
}

template <typename Error>
std::string errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "(no error)";
}

class WaveInTest : public VirtualDeviceTest {
protected:
    void SetUp() override
    {
        VirtualDeviceTest::SetUp();
        UseTestInput(wi, kBufferBytes, 4);
        wi.SetOutput(&sink);
    }

    void TearDown() override
    {
        wi.Close();
        VirtualDeviceTest::TearDown();
    }

    // Lets the device record whole buffers, one at a time, each pushed before the next.
    void RecordBuffers(int count)
    {
        for (int i = 0; i < count; ++i) {
            const int before = sink.Count();
            AdvanceFrames(kBufferFrames);
            ASSERT_TRUE(PumpUntil([&] { return sink.Count() == before + 1; }));
        }
    }

    TMMWaveIn wi;
    BufferSink sink;
};

class WaveOutTest : public VirtualDeviceTest {
protected:
    void Build(int dataPulls, bool endWithMore = false)
    {
        source = std::make_unique<PatternSource>(dataPulls, endWithMore);
        const TWaveFormatEx format = cdFormat();
        source->SetWaveFormat(&format);
        source->SetOutput(&wo);
        wo.SetOutput(&sink);
        wo.SetBufferSize(kBufferBytes);
        UseSilentOutput(wo, 4);
        wo.OnStop = [this](TMMDSPComponent*) {
            ++stops;
            stopThread = std::this_thread::get_id();
        };
    }

    void TearDown() override
    {
        wo.Close();
        VirtualDeviceTest::TearDown();
    }

    void PlayBuffers(int count)
    {
        for (int i = 0; i < count; ++i) {
            const int before = sink.Count();
            AdvanceFrames(kBufferFrames);
            ASSERT_TRUE(PumpUntil([&] { return sink.Count() == before + 1; }));
        }
    }

    std::unique_ptr<PatternSource> source;
    TMMWaveOut wo;
    BufferSink sink;
    std::atomic<int> stops{0};
    std::thread::id stopThread;
};

} // namespace

TEST_F(WaveInTest, DeviceIdentifiersOutsideTheDevicesAreInvalid)
{
    int errors = 0;
    wi.OnError = [&](TMMDSPComponent*) { ++errors; };
    EXPECT_EQ(wi.GetProductName(), wave::kTestSignalInputName);
    wi.SetDeviceID(wi.DeviceCount() + 3);
    EXPECT_EQ(wi.GetDeviceID(), InvalidId);
    EXPECT_EQ(wi.GetProductName(), "No wave audio recording device found");
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.Open(); }), "Invalid DeviceID");
    EXPECT_EQ(errors, 1);
    wi.SetDeviceID(-3);
    EXPECT_EQ(wi.GetDeviceID(), InvalidId);
}

TEST_F(WaveInTest, PropertiesAreClamped)
{
    wi.SetNumBuffers(1);
    EXPECT_EQ(wi.GetNumBuffers(), 4);
    wi.SetNumBuffers(5000);
    EXPECT_EQ(wi.GetNumBuffers(), 4096);
    wi.SetSampleRate(200000);
    EXPECT_EQ(wi.GetSampleRate(), 100000);
    wi.SetSampleRate(1000);
    EXPECT_EQ(wi.GetSampleRate(), 8000);
    wi.SetChannels(0);
    EXPECT_EQ(wi.GetChannels(), 1);
    EXPECT_EQ(wi.GetMode(), TMMMode::mMono);
    wi.SetChannels(12);
    EXPECT_EQ(wi.GetChannels(), 8);
    EXPECT_EQ(wi.GetMode(), TMMMode::mMultiChannel);
    wi.SetMode(TMMMode::mStereo);
    EXPECT_EQ(wi.GetChannels(), 2);
    wi.SetBufferSize(10);
    EXPECT_EQ(wi.GetBufferSize(), 32);
    // The properties make the format that travels down the chain.
    wi.SetBitLength(TMMBits::b16Bit);
    EXPECT_EQ(sink.WaveFormat()->BitsPerSample, 16);
    EXPECT_EQ(sink.WaveFormat()->SamplesPerSec, 8000u);
    EXPECT_EQ(sink.WaveFormat()->Channels, 2);
}

TEST_F(WaveInTest, PropertyChangesAreRefusedWhileOpen)
{
    wi.Open();
    const std::string refused = "Change to property while device was open";
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.SetBufferSize(8192); }), refused);
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.SetNumBuffers(8); }), refused);
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.SetDeviceID(testInput_); }), refused);
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.SetChannels(1); }), refused);
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.SetSampleRate(22050); }), refused);
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.SetBitLength(TMMBits::b8Bit); }), refused);
    EXPECT_EQ(errorText<EMMWaveInError>([&] { wi.SetCallBackMode(TMMCBMode::cmWindow); }), refused);
    wi.Close();
    EXPECT_NO_THROW(wi.SetNumBuffers(8));
}

TEST_F(WaveInTest, AFormatTheDeviceDoesNotListIsRefusedEvenIfTheQueryAcceptsIt)
{
    const int limited = wave::addVirtualDevice(
        WaveDirection::Input, {"Limited input (virtual)", wave::kAllStandardFormats & ~wave::kFormat4S16});
    TMMWaveIn device; // reads the device count, now with the limited device
    const TWaveFormatEx format = cdFormat();
    device.SetWaveFormat(&format);
    device.SetDeviceID(limited);
    device.SetCallBackMode(TMMCBMode::cmThread);
    EXPECT_EQ(errorText<EMMWaveInError>([&] { device.Open(); }),
              "WaveInOpen:\n\rThe actual device can''t record this format");
    EXPECT_FALSE(device.DeviceOpen());
    EXPECT_EQ(dspThreadCount(), 0);

    device.SetSampleRate(22050);
    EXPECT_NO_THROW(device.Open());
    EXPECT_TRUE(device.DeviceOpen());
    device.Close();
}

TEST_F(WaveInTest, RecordsTheSignalInOrderAndStopPushesThePartlyRecordedBuffer)
{
    wi.Open();
    wi.Start();
    RecordBuffers(5);
    AdvanceFrames(300);
    wi.Stop();

    const std::vector<std::uint32_t> expectedSizes{4096, 4096, 4096, 4096, 4096, 300 * kCdFrameBytes};
    EXPECT_EQ(sink.Sizes(), expectedSizes) << "the empty buffers handed back by the reset are not pushed";
    EXPECT_EQ(sink.Bytes(), testSignal(0, 5 * kBufferFrames + 300));
    EXPECT_EQ(wi.RecordedBytes(), 5u * kBufferBytes + 300 * kCdFrameBytes);
    EXPECT_FALSE(wi.Started());
    EXPECT_TRUE(wi.DeviceOpen());

    // Started again, recording goes on where the device is now.
    wi.Start();
    RecordBuffers(1);
    const std::vector<char> all = sink.Bytes();
    EXPECT_EQ(std::vector<char>(all.end() - kBufferBytes, all.end()),
              testSignal(5 * kBufferFrames + 300, kBufferFrames));
}

TEST_F(WaveInTest, AStopAskedForInsideABufferHandlerHappensOnTheMainThread)
{
    std::atomic<int> stops{0};
    std::thread::id stopThread;
    wi.OnStop = [&](TMMDSPComponent*) {
        stopThread = std::this_thread::get_id();
        ++stops;
    };
    wi.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) {
        if (sink.Count() == 0)
            wi.Stop();
    };
    wi.Open();
    wi.Start();
    AdvanceFrames(kBufferFrames);
    ASSERT_TRUE(PumpUntil([&] { return stops.load() == 1; }));
    EXPECT_EQ(stopThread, std::this_thread::get_id());
    EXPECT_FALSE(wi.Started());
    EXPECT_EQ(sink.Count(), 1) << "the buffer being handled still went down the chain";
}

TEST_F(WaveInTest, AnInputWithoutQueuedBuffersLosesWhatItRecordsCountsItAndGoesOn)
{
    // Handled on the main thread, the buffers cannot be queued again while the clock moves.
    wi.SetCallBackMode(TMMCBMode::cmWindow);
    wi.Open();
    wi.Start();
    // Ten buffers' time at once: the four queued buffers are filled, the rest is lost.
    AdvanceFrames(10 * kBufferFrames);
    ASSERT_TRUE(PumpUntil([&] { return sink.Count() == 4; }));
    EXPECT_EQ(wi.DeviceXruns(), 1u);
    RecordBuffers(2);
    const std::vector<char> all = sink.Bytes();
    EXPECT_EQ(std::vector<char>(all.end() - kBufferBytes, all.end()), testSignal(11 * kBufferFrames, kBufferFrames))
        << "recording goes on at the device's own time";
}

TEST_F(WaveInTest, OpenStartStopCloseCycles)
{
    int opens = 0, starts = 0, stops = 0, closes = 0;
    wi.OnOpen = [&](TMMDSPComponent*) { ++opens; };
    wi.OnStart = [&](TMMDSPComponent*) { ++starts; };
    wi.OnStop = [&](TMMDSPComponent*) { ++stops; };
    wi.OnClose = [&](TMMDSPComponent*) { ++closes; };
    for (int cycle = 1; cycle <= 3; ++cycle) {
        wi.Open();
        EXPECT_TRUE(wi.DeviceOpen());
        EXPECT_EQ(dspThreadCount(), 1) << "the input's own thread";
        wi.Start();
        RecordBuffers(2);
        wi.Stop();
        wi.Close();
        EXPECT_FALSE(wi.DeviceOpen());
        EXPECT_EQ(dspThreadCount(), 0);
        EXPECT_EQ(sink.Count(), 2 * cycle);
    }
    EXPECT_EQ(opens, 3);
    EXPECT_EQ(starts, 3);
    EXPECT_EQ(stops, 3);
    EXPECT_EQ(closes, 3);
}

TEST_F(WaveInTest, PositionIsCountedInTheChosenUnit)
{
    wi.Open();
    wi.Start();
    RecordBuffers(3);
    AdvanceFrames(100);
    wi.SetTimeFormat(TMMTimeFormats::tfSample);
    EXPECT_EQ(wi.GetPosition(), 3 * kBufferFrames + 100);
    wi.SetTimeFormat(TMMTimeFormats::tfByte);
    EXPECT_EQ(wi.GetPosition(), (3 * kBufferFrames + 100) * kCdFrameBytes);
    wi.SetTimeFormat(TMMTimeFormats::tfMillisecond);
    EXPECT_EQ(wi.GetPosition(), 72); // 3172 samples at 44.1 kHz
}

TEST_F(WaveInTest, WindowModeHandlesBuffersOnTheMainThread)
{
    wi.SetCallBackMode(TMMCBMode::cmWindow);
    std::thread::id pushThread;
    wi.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) { pushThread = std::this_thread::get_id(); };
    wi.Open();
    EXPECT_EQ(dspThreadCount(), 0) << "no device thread in window mode";
    wi.Start();
    AdvanceFrames(kBufferFrames);
    EXPECT_EQ(sink.Count(), 0) << "nothing is handled until the main thread gets to it";
    ASSERT_TRUE(PumpUntil([&] { return sink.Count() == 1; }));
    EXPECT_EQ(pushThread, std::this_thread::get_id());
    wi.Stop();
    EXPECT_EQ(sink.Bytes(), testSignal(0, kBufferFrames));
}

TEST_F(WaveInTest, CallbackModeIsRefusedWithANotice)
{
    Notices notices;
    wi.Close();
    wi.SetCallBackMode(TMMCBMode::cmCallback);
    EXPECT_EQ(wi.GetCallBackMode(), TMMCBMode::cmThread);
    ASSERT_EQ(notices.Count(), 1u);
    EXPECT_EQ(notices.Seen()[0].kind, TMMNoticeKind::Message);
    EXPECT_EQ(notices.Seen()[0].title, "TMMWaveIn");
    EXPECT_EQ(notices.Seen()[0].text,
              "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under Windows 95");
}

TEST_F(WaveOutTest, DeviceSelectionAndClamps)
{
    Build(100);
    wo.SetNumBuffers(600);
    EXPECT_EQ(wo.GetNumBuffers(), 500);
    wo.SetNumBuffers(1);
    EXPECT_EQ(wo.GetNumBuffers(), 500);
    EXPECT_EQ(wo.GetProductName(), wave::kSilentOutputName);
    wo.SetDeviceID(wo.DeviceCount());
    EXPECT_EQ(wo.GetProductName(), "No wave audio playing device found");
    EXPECT_EQ(errorText<EMMWaveOutError>([&] { wo.Open(); }), "Invalid DeviceID");

    Notices notices;
    wo.SetCallBackMode(TMMCBMode::cmCallback);
    ASSERT_EQ(notices.Count(), 1u);
    EXPECT_EQ(notices.Seen()[0].title, "TMMWaveOut");
}

TEST_F(WaveOutTest, PlaysWhatItPullsInOrder)
{
    Build(1000);
    wo.Open();
    wo.Start();
    EXPECT_EQ(source->Pulls(), 4) << "the preload fills every buffer";
    PlayBuffers(10);
    EXPECT_EQ(sink.Bytes(), patternBytes(0, 10 * kBufferBytes));
    EXPECT_EQ(source->Pulls(), 14) << "each played buffer is refilled at once";
    EXPECT_EQ(wo.PlayedBytes(), 10u * kBufferBytes);
    wo.SetTimeFormat(TMMTimeFormats::tfSample);
    EXPECT_EQ(wo.GetPosition(), 10 * kBufferFrames);

    wo.Stop();
    EXPECT_EQ(stops, 1);
    EXPECT_FALSE(wo.Started());
    // Started again, it preloads afresh and goes on with the source.
    wo.Start();
    PlayBuffers(2);
    const std::vector<char> all = sink.Bytes();
    EXPECT_EQ(std::vector<char>(all.end() - 2 * kBufferBytes, all.end()),
              patternBytes(14 * kBufferBytes, 2 * kBufferBytes));
    wo.Close();
    EXPECT_FALSE(wo.DeviceOpen());
    EXPECT_EQ(dspThreadCount(), 0);
}

TEST_F(WaveOutTest, ASourceWithNothingToPlayCannotStart)
{
    Build(0);
    wo.Open();
    EXPECT_EQ(errorText<EMMWaveOutError>([&] { wo.Start(); }), "WaveOutStart:\n\rUnable to start device");
    EXPECT_FALSE(wo.DeviceOpen());
    EXPECT_EQ(dspThreadCount(), 0);
}

TEST_F(WaveOutTest, TheEndOfTheSourceStopsTheOutputThroughTheMainThread)
{
    Build(3);
    wo.Open();
    wo.Start();
    AdvanceFrames(3 * kBufferFrames);
    ASSERT_TRUE(PumpUntil([&] { return stops.load() == 1; }));
    EXPECT_EQ(stopThread, std::this_thread::get_id());
    EXPECT_FALSE(wo.Started());
    EXPECT_TRUE(wo.DeviceOpen());
    EXPECT_EQ(sink.Bytes(), patternBytes(0, 3 * kBufferBytes)) << "the queued buffers play out first";
}

TEST_F(WaveOutTest, AnEmptyPullWhilePlayingIsAnErrorThatClosesTheOutput)
{
    Notices notices;
    Build(6, true);
    int closes = 0, errors = 0;
    wo.OnClose = [&](TMMDSPComponent*) { ++closes; };
    wo.OnError = [&](TMMDSPComponent*) { ++errors; };
    wo.Open();
    wo.Start();
    AdvanceFrames(3 * kBufferFrames);
    ASSERT_TRUE(PumpUntil([&] { return notices.Count() == 1; }));
    EXPECT_EQ(notices.Seen()[0].kind, TMMNoticeKind::Error);
    EXPECT_EQ(notices.Seen()[0].text, "Error filling wave buffer");
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(wo.DeviceOpen());
    EXPECT_EQ(dspThreadCount(), 0);
}

TEST_F(WaveOutTest, AStopAskedForInsideTheHandlerAllocatesNothingOnTheOutputsThread)
{
    Build(1000);
    wo.SetOutput(nullptr);
    const std::uint64_t before = alloccount::counted();
    wo.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) {
        // Counts on this thread from here to its end: the rest of the handler included.
        alloccount::countThisThread(true);
        wo.Stop();
    };
    wo.Open();
    wo.Start();
    AdvanceFrames(kBufferFrames);
    ASSERT_TRUE(PumpUntil([&] { return stops.load() == 1; }));
    wo.Close();
    EXPECT_EQ(alloccount::counted(), before);
}

TEST_F(WaveOutTest, AStopTheHandlerAskedForDoesNotStopARunTheMainThreadStartedMeanwhile)
{
    Build(1000);
    std::mutex asking;
    std::condition_variable asked;
    bool stopInside = true, stoppedInside = false;
    wo.OnBufferReady = [&](TMMDSPComponent*, TMMWaveHdr*) {
        std::lock_guard guard(asking);
        if (!std::exchange(stopInside, false))
            return;
        wo.Stop();
        stoppedInside = true;
        asked.notify_all();
    };
    wo.Open();
    wo.Start();
    AdvanceFrames(kBufferFrames);
    {
        std::unique_lock guard(asking);
        ASSERT_TRUE(asked.wait_for(guard, std::chrono::seconds(30), [&] { return stoppedInside; }));
    }
    // The main thread gets there first: it stops and starts again before it looks at its queue.
    wo.Stop();
    wo.Start();
    dispatcher_.pump();
    ASSERT_TRUE(wo.Started());
    EXPECT_EQ(stops.load(), 1);
    PlayBuffers(2);
}
