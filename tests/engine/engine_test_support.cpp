#include "engine_test_support.h"

#include "dsp_plugin.h"
#include "wave_in.h"
#include "wave_out.h"

#include <algorithm>
#include <dlfcn.h>
#include <thread>

namespace qextest {

namespace wave = qex::platform::wave;

TWaveFormatEx cdFormat()
{
    return pcmWaveFormat(16, 2, 44100);
}

bool pumpUntil(qex::platform::MainThreadDispatcher& dispatcher, const std::function<bool()>& ready,
               std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        dispatcher.waitAndPump(1);
    }
    dispatcher.pump();
    return true;
}

char patternByte(std::uint64_t offset)
{
    // Never zero, so that data and silence cannot be mistaken for each other.
    return static_cast<char>(1 + (offset * 7 + offset / 251) % 253);
}

std::vector<char> patternBytes(std::uint64_t offset, std::size_t count)
{
    std::vector<char> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = patternByte(offset + i);
    return bytes;
}

PatternSource::PatternSource(int dataPulls, bool endWithMore) : dataPulls_(dataPulls), endWithMore_(endWithMore) {}

void PatternSource::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    const int pull = pulls_++;
    if (pull >= dataPulls_) {
        lpWaveHdr->BytesRecorded = 0;
        moreBuffers = endWithMore_;
        return;
    }
    for (std::uint32_t i = 0; i < lpWaveHdr->BufferLength; ++i)
        lpWaveHdr->Data[i] = patternByte(offset_ + i);
    offset_ += lpWaveHdr->BufferLength;
    lpWaveHdr->BytesRecorded = lpWaveHdr->BufferLength;
    moreBuffers = endWithMore_ || pull + 1 < dataPulls_;
}

std::string testPluginPath(const std::string& name)
{
    return std::string(QEX_TEST_PLUGIN_DIR) + "/" + name + ".so";
}

TestPlugin::TestPlugin(const std::string& name) : path(testPluginPath(name))
{
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    control = handle_ ? static_cast<TestPluginControl*>(::dlsym(handle_, "qex_test_plugin")) : nullptr;
    if (!control) {
        ADD_FAILURE() << "cannot reach the test plug-in " << path;
        control = &unused_;
    }
    *control = TestPluginControl{};
    control->returnNumerator = control->returnDenominator = 1;
}

TestPlugin::~TestPlugin()
{
    if (handle_)
        ::dlclose(handle_);
}

Notices::Notices()
{
    setEngineNoticeHandler([this](TMMNoticeKind kind, const std::string& title, const std::string& text) {
        std::lock_guard guard(lock_);
        seen_.push_back({kind, title, text});
    });
}

Notices::~Notices()
{
    setEngineNoticeHandler(nullptr);
}

std::size_t Notices::Count() const
{
    std::lock_guard guard(lock_);
    return seen_.size();
}

std::vector<Notices::Notice> Notices::Seen() const
{
    std::lock_guard guard(lock_);
    return seen_;
}

void BufferSink::BufferReady(TMMWaveHdr* lpWaveHdr)
{
    std::lock_guard guard(lock_);
    bytes_.insert(bytes_.end(), lpWaveHdr->Data, lpWaveHdr->Data + lpWaveHdr->BytesRecorded);
    sizes_.push_back(lpWaveHdr->BytesRecorded);
}

std::vector<char> BufferSink::Bytes() const
{
    std::lock_guard guard(lock_);
    return bytes_;
}

std::vector<std::uint32_t> BufferSink::Sizes() const
{
    std::lock_guard guard(lock_);
    return sizes_;
}

int BufferSink::Count() const
{
    std::lock_guard guard(lock_);
    return static_cast<int>(sizes_.size());
}

void PullHold::Arm(std::chrono::milliseconds limit)
{
    std::lock_guard guard(lock_);
    armed_ = true;
    limit_ = limit;
}

bool PullHold::WaitUntilHolding(std::chrono::milliseconds limit)
{
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, limit, [this] { return holding_; });
}

bool PullHold::Holding() const
{
    std::lock_guard guard(lock_);
    return holding_;
}

int PullHold::CallsUnderPull() const
{
    std::lock_guard guard(lock_);
    return callsUnderPull_;
}

void PullHold::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    {
        std::unique_lock guard(lock_);
        if (armed_) {
            armed_ = false;
            holding_ = true;
            changed_.notify_all();
            changed_.wait_for(guard, limit_, [this] { return !holding_; });
            holding_ = false;
            changed_.notify_all();
        }
    }
    TMMDSPComponent::BufferLoad(lpWaveHdr, moreBuffers);
}

void PullHold::LetGo()
{
    std::lock_guard guard(lock_);
    if (holding_)
        ++callsUnderPull_;
    holding_ = false;
    changed_.notify_all();
}

void PullHold::Close()
{
    LetGo();
    TMMDSPComponent::Close();
}

void PullHold::Stop()
{
    LetGo();
    TMMDSPComponent::Stop();
}

void PullHold::Reset()
{
    LetGo();
    TMMDSPComponent::Reset();
}

void VirtualDeviceTest::SetUp()
{
    clock_ = std::make_shared<wave::ManualWaveClock>();
    wave::setVirtualClock(clock_);
    qex::platform::installMainThreadDispatcher(&dispatcher_);
    testInput_ = wave::waveFindDevice(WaveDirection::Input, wave::kTestSignalInputName);
    silentOutput_ = wave::waveFindDevice(WaveDirection::Output, wave::kSilentOutputName);
    ASSERT_GE(testInput_, 0);
    ASSERT_GE(silentOutput_, 0);
}

void VirtualDeviceTest::TearDown()
{
    dispatcher_.pump();
    qex::platform::installMainThreadDispatcher(nullptr);
    wave::setVirtualClock(nullptr);
}

void VirtualDeviceTest::RunPeriods(int periods, std::uint64_t frames, const std::atomic<int>& pushes,
                                   const std::atomic<int>& fills)
{
    for (int n = 0; n < periods; ++n) {
        const int wantedPushes = pushes.load() + 1;
        const int wantedFills = fills.load() + 1;
        AdvanceFrames(frames);
        ASSERT_TRUE(PumpUntil([&] { return pushes.load() == wantedPushes && fills.load() == wantedFills; }))
            << "period " << n;
    }
}

void VirtualDeviceTest::UseTestInput(TMMWaveIn& wi, int bufferBytes, int numBuffers)
{
    const TWaveFormatEx format = cdFormat();
    wi.SetWaveFormat(&format);
    wi.SetBufferSize(bufferBytes);
    wi.SetNumBuffers(numBuffers);
    wi.SetDeviceID(testInput_);
    wi.SetCallBackMode(TMMCBMode::cmThread);
}

void VirtualDeviceTest::UseSilentOutput(TMMWaveOut& wo, int numBuffers)
{
    wo.SetNumBuffers(numBuffers);
    wo.SetDeviceID(silentOutput_);
    wo.SetCallBackMode(TMMCBMode::cmThread);
}

void VirtualDeviceTest::AdvanceFrames(std::uint64_t frames)
{
    frames_ += frames;
    // The first moment at which the frame count has been reached.
    const auto target = static_cast<std::int64_t>((frames_ * 1'000'000'000ull + 44099) / 44100);
    clock_->advance(std::chrono::nanoseconds(target - nanos_));
    nanos_ = target;
}

void VirtualDeviceTest::StartChain(TMMWaveIn& wi, TMMDSPPlugin& host)
{
    wi.Open();
    host.InitModule();
    wi.Start();
}

} // namespace qextest
