#include "custom_wave_device.h"

#include "conversions.h"
#include "engine_notice.h"

#include "platform/main_dispatcher.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace wave = qex::platform::wave;

TMMWaveDeviceThread::TMMWaveDeviceThread(TMMCustomWaveDevice* owner, std::size_t capacity)
    : TMMDSPThread(owner), device_(owner), queue_(capacity)
{
}

TMMWaveDeviceThread::~TMMWaveDeviceThread()
{
    Finish();
}

bool TMMWaveDeviceThread::Launch(TThreadPriority priority, std::chrono::milliseconds timeout)
{
    SetPriority(priority);
    if (!Start())
        return false;
    std::unique_lock guard(lock_);
    return wake_.wait_for(guard, timeout, [this] { return running_; });
}

void TMMWaveDeviceThread::Post(const TMMDeviceMessage& message)
{
    {
        std::lock_guard guard(lock_);
        // A buffer comes back once each time it was queued and is queued again only once it has
        // been handled, and a stop waits until every buffer handed back has been handled: so the
        // queue holds every message of a run. A thread that has ended after a failure lets the
        // message go (nobody waits for it), and so would a queue that is full.
        if (!running_ || count_ == queue_.size())
            return;
        queue_[(first_ + count_) % queue_.size()] = message;
        ++count_;
    }
    wake_.notify_one();
}

void TMMWaveDeviceThread::Finish()
{
    Terminate();
    {
        std::lock_guard guard(lock_);
        wake_.notify_all();
    }
    WaitFor();
}

void TMMWaveDeviceThread::Execute()
{
    std::unique_lock guard(lock_);
    running_ = true;
    wake_.notify_all();
    for (;;) {
        wake_.wait(guard, [this] { return Terminated() || count_ > 0; });
        if (Terminated())
            break;
        const TMMDeviceMessage message = queue_[first_];
        first_ = (first_ + 1) % queue_.size();
        --count_;
        guard.unlock();
        const bool alive = device_->HandleThreadMessage(message);
        guard.lock();
        if (!alive)
            break;
    }
    running_ = false;
    count_ = 0;
}

TMMCustomWaveDevice::TMMCustomWaveDevice(WaveDirection direction, int missingDeviceKey, const char* className,
                                         int maxBuffers, int waitSteps)
    : direction_(direction), missingDeviceKey_(missingDeviceKey), className_(className),
      deviceCount_(wave::waveGetNumDevs(direction)), maxBuffers_(maxBuffers), waitSteps_(waitSteps)
{
    SetDeviceID(0);
}

void TMMCustomWaveDevice::SetBufferSize(int size)
{
    CheckNotOpen();
    const int value = std::max(size, 32);
    if (value != ConfiguredBufferSize())
        allocator_.Empty();
    TMMCustomSoundComponent::SetBufferSize(value);
}

void TMMCustomWaveDevice::SetWaveFormat(const TWaveFormatEx* format)
{
    Close();
    TMMCustomSoundComponent::SetWaveFormat(format);
}

void TMMCustomWaveDevice::SetNumBuffers(int value)
{
    if (value <= 1 || value == numBuffers_)
        return;
    CheckNotOpen();
    numBuffers_ = std::min(value, maxBuffers_);
}

TMMWaveHdr* TMMCustomWaveDevice::NewBuffer()
{
    const int size = GetBufferSize();
    void* block = nullptr;
    try {
        block = allocator_.GetBlock(static_cast<std::size_t>(size) + kWaveHdrSize);
    } catch (const std::bad_alloc&) {
        ErrorKey(kErrHeaderMemory);
    }
    // A block from the pool may hold an earlier run's header.
    std::memset(block, 0, kWaveHdrSize);
    TMMWaveHdr* header = engineBufferHeader(block);
    header->BufferLength = static_cast<std::uint32_t>(size);
    return header;
}

void TMMCustomWaveDevice::ReleaseBuffers()
{
    for (TMMWaveHdr* header : buffers_) {
        void* block = header;
        allocator_.FreeBlock(block);
    }
    buffers_.clear();
}

TMMCustomWaveDevice::~TMMCustomWaveDevice() = default;

void TMMCustomWaveDevice::Fire(const TMMNotifyEvent& event)
{
    if (event)
        event(this);
}

void TMMCustomWaveDevice::Error(const std::string& message)
{
    Fire(OnError);
    std::rethrow_exception(MakeError(message));
}

void TMMCustomWaveDevice::DeviceError(const char* call, int code)
{
    std::string text;
    if (wave::waveGetErrorText(code, text) != wave::kWaveNoError)
        text = MMErrorText(kErrUnknownError);
    Error(deviceCallMessage(call, text));
}

void TMMCustomWaveDevice::CheckNotOpen()
{
    if (DeviceOpen())
        ErrorKey(kErrPropertyWhileOpen);
}

void TMMCustomWaveDevice::SetDeviceID(TMMDeviceId value)
{
    CheckNotOpen();
    productName_ = MMErrorText(missingDeviceKey_);
    driverVersion_ = 0;
    const bool exists = deviceCount_ > 0 && value >= MapperId && value < deviceCount_;
    if (exists) {
        wave::WaveCaps caps;
        // Only what the device list says: selecting a device never opens it.
        if (wave::waveGetDevCaps(direction_, value, caps, wave::WaveCapsDetail::Listed) == wave::kWaveNoError) {
            productName_ = caps.ProductName;
            driverVersion_ = caps.DriverVersion;
        }
    }
    deviceId_ = exists ? value : InvalidId;
}

void TMMCustomWaveDevice::SetCallBackMode(TMMCBMode value)
{
    CheckNotOpen();
    if (value == TMMCBMode::cmCallback) {
        showEngineNotice(
            TMMNoticeKind::Message, className_,
            "\"CallBacks\" are called at interrupt time !\n\rThis is currently only supported under Windows 95");
        return;
    }
    callBackMode_ = value;
}

void TMMCustomWaveDevice::SetPriority(TThreadPriority value)
{
    priority_ = value;
    if (thread_)
        thread_->SetPriority(value);
}

std::uint32_t TMMCustomWaveDevice::DeviceXruns() const
{
    std::uint32_t count = 0;
    if (handle_)
        wave::waveGetXruns(handle_, count);
    return count;
}

wave::WaveQueueState TMMCustomWaveDevice::DeviceQueue() const
{
    wave::WaveQueueState state;
    if (handle_)
        wave::waveGetQueueState(handle_, state);
    return state;
}

bool TMMCustomWaveDevice::DeviceTakesFormat(const char* call)
{
    const int result = OpenDevice(true);
    if (result != wave::kWaveNoError && result != wave::kWaveErrBadFormat)
        DeviceError(call, result);
    return result == wave::kWaveNoError;
}

int TMMCustomWaveDevice::OpenDevice(bool query)
{
    const auto* format = reinterpret_cast<const wave::WaveFormatEx*>(WaveFormat());
    return wave::waveOpen(direction_, query ? nullptr : &handle_, deviceId_, format, query ? nullptr : &DeviceCallback,
                          this, query);
}

// Runs in the device's context: opened and closed set the state at once, buffers are routed.
void TMMCustomWaveDevice::DeviceCallback(wave::WaveHandle, wave::WaveMessage message, void* instance,
                                         wave::WaveHdr* header)
{
    auto* self = static_cast<TMMCustomWaveDevice*>(instance);
    switch (message) {
    case wave::WaveMessage::Opened: self->deviceOpen_ = true; break;
    case wave::WaveMessage::Closed: self->deviceOpen_ = false; break;
    case wave::WaveMessage::Done: self->DeviceBufferDone(reinterpret_cast<TMMWaveHdr*>(header)); break;
    }
}

void TMMCustomWaveDevice::Route(const TMMDeviceMessage& message)
{
    if (callBackMode_ == TMMCBMode::cmThread) {
        if (thread_)
            thread_->Post(message);
        return;
    }
    PostToMainThread([this, message] { HandleThreadMessage(message); });
}

bool TMMCustomWaveDevice::HandleThreadMessage(const TMMDeviceMessage& message)
{
    {
        std::lock_guard guard(lock_);
        if (handlingFailed_)
            return false;
    }
    try {
        HandleBuffer(message);
        return true;
    } catch (const std::exception& error) {
        ReportFailure(error.what());
    } catch (...) {
        ReportFailure(MMErrorText(kErrUnknownError));
    }
    return false;
}

// Lifecycle operations belong to the main thread: the device is let go of there, and the
// failure is shown in the application's error display. The buffers the device hands back from
// now on are nobody's to handle, and the stop on the way does not wait for them.
void TMMCustomWaveDevice::ReportFailure(const std::string& message)
{
    {
        std::lock_guard guard(lock_);
        handlingFailed_ = true;
        CountersChanged();
    }
    PostToMainThread([this, message] {
        if (DeviceOpen())
            CloseAfterFailure();
        showEngineNotice(TMMNoticeKind::Error, {}, message);
    });
}

void TMMCustomWaveDevice::RunPostedStop()
{
    {
        std::lock_guard guard(lock_);
        if (!stopPosted_)
            return;
    }
    try {
        Stop();
    } catch (const std::exception& error) {
        showEngineNotice(TMMNoticeKind::Error, {}, error.what());
    }
}

void TMMCustomWaveDevice::EnterHandler()
{
    ++handlersRunning_;
    handlerThread_ = std::this_thread::get_id();
}

void TMMCustomWaveDevice::LeaveHandler()
{
    bool post = false;
    {
        std::lock_guard guard(lock_);
        // A played-out device stops itself, unless a stop is already under way.
        post = handlersRunning_ == 1 && !stopPosted_ && (stopPending_ || (!stopping_ && PlayedOut()));
        if (post)
            stopPosted_ = stopping_ = true;
    }
    if (post) {
        HoldForPostedStop();
        stopRequest_.raise();
    }
    std::lock_guard guard(lock_);
    --handlersRunning_;
    CountersChanged();
}

bool TMMCustomWaveDevice::StopRequested() const
{
    std::lock_guard guard(lock_);
    return stopping_;
}

void TMMCustomWaveDevice::AddToDevice(TMMWaveHdr* header, int& queued, const char* call)
{
    int result = wave::kWaveNoError;
    {
        // Under the lock, so that a stop that has begun finds at the device every buffer it
        // resets and waits for.
        std::lock_guard guard(lock_);
        if (stopping_)
            return;
        result = wave::waveAddBuffer(handle_, AsDeviceHeader(header));
        if (result == wave::kWaveNoError)
            ++queued;
    }
    CheckDeviceCall(call, result);
}

void TMMCustomWaveDevice::AbandonOpen()
{
    // Close lets go only of an open device.
    deviceOpen_ = true;
    Close();
    deviceOpen_ = false;
}

void TMMCustomWaveDevice::ClearStopState()
{
    handlersRunning_ = 0;
    stopPending_ = stopping_ = resetting_ = stopPosted_ = false;
}

bool TMMCustomWaveDevice::FinishHandlers()
{
    bool inside = false;
    {
        std::lock_guard guard(lock_);
        inside = handlersRunning_ > 0 && handlerThread_ == std::this_thread::get_id();
    }
    // A handler never waits for the main thread, so this wait ends; it is bounded all the same.
    if (!inside)
        WaitForDevice([this] { return handlersRunning_ == 0 && (handlingFailed_ || BuffersBack()); });
    std::lock_guard guard(lock_);
    if (handlersRunning_ == 0)
        return true;
    // The handler asks the main thread for the stop when it is done.
    stopPending_ = true;
    return false;
}

void TMMCustomWaveDevice::Stop()
{
    if (!deviceStarted_ && !devicePaused_)
        return;
    StopDevice();
    if (!FinishHandlers())
        return;
    CompleteStop();
    {
        std::lock_guard guard(lock_);
        stopPending_ = stopPosted_ = false;
    }
    if (!Destroying())
        Fire(OnStop);
    if (closePending_)
        Close();
}

void TMMCustomWaveDevice::Close()
{
    if (!DeviceOpen() || (closing_ && !closePending_))
        return;
    closing_ = true;
    try {
        if (deviceStarted_ || devicePaused_)
            Stop();
        bool pending = false;
        {
            std::lock_guard guard(lock_);
            pending = stopPending_;
        }
        if (pending) {
            closePending_ = true;
            return;
        }
        closePending_ = false;
        LetGoOfDevice();
        TMMCustomSoundComponent::Close();
        FinishThread();
        ReleaseBuffers();
        closing_ = false;
        if (!Destroying())
            Fire(OnClose);
    } catch (...) {
        // Closing never fails towards the caller; OnError has reported it.
        closing_ = false;
    }
}

void TMMCustomWaveDevice::CloseAfterFailure()
{
    closing_ = true;
    try {
        if (deviceStarted_ || devicePaused_)
            Stop();
        LetGoOfDevice();
    } catch (...) {
        // Reported with the failure that brought us here.
    }
    FinishThread();
    handle_ = nullptr;
    deviceOpen_ = false;
    ReleaseBuffers();
    TMMDSPComponent::Close();
    closing_ = false;
    Fire(OnClose);
}

bool TMMCustomWaveDevice::LaunchThread()
{
    {
        std::lock_guard guard(lock_);
        handlingFailed_ = false;
    }
    if (callBackMode_ != TMMCBMode::cmThread)
        return true;
    // One slot per buffer the device can hold, and one to spare.
    thread_ = std::make_unique<TMMWaveDeviceThread>(this, static_cast<std::size_t>(GetNumBuffers()) + 1);
    return thread_->Launch(priority_, std::chrono::milliseconds(5000));
}

void TMMCustomWaveDevice::FinishThread()
{
    thread_.reset();
}

bool TMMCustomWaveDevice::WaitSteps(int steps, const std::function<bool()>& ready)
{
    auto* dispatcher = qex::platform::mainThreadDispatcher();
    if (callBackMode_ == TMMCBMode::cmWindow && dispatcher && dispatcher->onMainThread()) {
        for (int i = 0; i < steps; ++i) {
            {
                std::lock_guard guard(lock_);
                if (ready())
                    return true;
            }
            dispatcher->waitAndPump(10);
        }
        std::lock_guard guard(lock_);
        return ready();
    }
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(10) * steps, ready);
}

std::uint64_t TMMCustomWaveDevice::ReadDevicePosition(const char* call)
{
    std::uint32_t samples = 0;
    CheckDeviceCall(call, wave::waveGetPosition(handle_, samples));
    // A position well below the last one means the 32-bit counter wrapped.
    std::lock_guard guard(lock_);
    if (samples < lastPosition_ && lastPosition_ - samples >= 0xFFFF)
        ++positionWraps_;
    lastPosition_ = samples;
    return (positionWraps_ << 32) + samples;
}

void TMMCustomWaveDevice::ClearPositionWraps()
{
    std::lock_guard guard(lock_);
    lastPosition_ = 0;
    positionWraps_ = 0;
}

std::int64_t TMMCustomWaveDevice::InTimeFormat(std::uint64_t samples) const
{
    const TWaveFormatEx* format = WaveFormat();
    if (!format || format->SamplesPerSec == 0)
        return 0;
    const auto count = static_cast<std::int64_t>(samples);
    switch (timeFormat_) {
    case TMMTimeFormats::tfSample: return count;
    case TMMTimeFormats::tfByte: return samplesToBytes(count, *format);
    case TMMTimeFormats::tfMillisecond: return mulDivRound(count, 1000, format->SamplesPerSec);
    }
    return count;
}
