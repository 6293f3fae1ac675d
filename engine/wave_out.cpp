#include "wave_out.h"

#include <algorithm>

namespace wave = qex::platform::wave;

namespace {

constexpr int kMaxBuffers = 500;
// 10 ms steps that open, stop and close wait for the device at the most.
constexpr int kWaitSteps = 500;

} // namespace

TMMWaveOut::TMMWaveOut()
    : TMMCustomWaveDevice(WaveDirection::Output, kErrNoPlayingDevice, "TMMWaveOut", kMaxBuffers, kWaitSteps)
{
}

TMMWaveOut::~TMMWaveOut()
{
    BeginDestroy();
    if (DeviceOpen())
        Close();
    FinishThread();
}

std::exception_ptr TMMWaveOut::MakeError(const std::string& message) const
{
    return std::make_exception_ptr(EMMWaveOutError(message));
}

void TMMWaveOut::Open()
{
    if (DeviceCount() == 0)
        ErrorKey(kErrNoPlayingDevice);
    if (GetDeviceID() == InvalidId)
        ErrorKey(kErrInvalidDeviceId);
    if (!WaveFormat())
        Error(deviceCallMessage("WaveOutOpen", MMErrorText(kErrInvalidFormat)));
    if (DeviceOpen())
        Close();
    if (closing_)
        return;
    {
        std::lock_guard guard(lock_);
        resetting_ = stopping_ = stopPosted_ = false;
    }
    try {
        if (!DeviceTakesFormat("WaveOutOpen"))
            Error(deviceCallMessage("WaveOutOpen", MMErrorText(kErrCannotPlayFormat)));
        handle_ = nullptr;
        closePending_ = false;
        TMMCustomSoundComponent::Open();
        if (!LaunchThread())
            Error(deviceCallMessage("WaveOut", MMErrorText(kErrCreateThread)));
        CheckDeviceCall("WaveOutOpen", OpenDevice(false));
        if (!WaitForDevice([this] { return DeviceOpen(); }))
            Error(deviceCallMessage("WaveOutOpen", MMErrorText(kErrUnableToOpen)));
        Fire(OnOpen);
    } catch (...) {
        AbandonOpen();
        throw;
    }
}

void TMMWaveOut::Start()
{
    if (!DeviceOpen())
        Open();
    if (!DeviceOpen() || deviceStarted_)
        return;
    try {
        {
            std::lock_guard guard(lock_);
            ClearStopState();
            bytesPlayed_ = 0;
            expectedIndex_ = 0;
            pending_ = 0;
            unhandled_ = 0;
        }
        ClearPositionWraps();
        positionOffset_ = 0;
        refillOnRestart_ = false;
        // Nothing plays before every buffer is queued.
        CheckDeviceCall("WaveOutPause", wave::waveStop(handle_));
        TMMCustomSoundComponent::Start();
        const int queued = Preload();
        deviceStarted_ = true;
        if (queued == 0) {
            TMMCustomSoundComponent::Stop();
            Error(deviceCallMessage("WaveOutStart", MMErrorText(kErrUnableToStart)));
        }
        if (!devicePaused_) {
            CheckDeviceCall("WaveOutRestart", wave::waveStart(handle_));
            Fire(OnStart);
        }
    } catch (...) {
        deviceStarted_ = true;
        deviceOpen_ = true;
        Close();
        deviceOpen_ = false;
        throw;
    }
}

int TMMWaveOut::Preload()
{
    moreData_ = true;
    buffers_.resize(static_cast<std::size_t>(GetNumBuffers()), nullptr);
    int queued = 0;
    for (TMMWaveHdr*& header : buffers_) {
        if (!moreData_)
            break;
        if (!header) {
            header = NewBuffer();
            wave::wavePrepareHeader(handle_, AsDeviceHeader(header));
        }
        if (Load(header) == 0)
            break;
        Queue(header);
        ++queued;
    }
    std::lock_guard guard(lock_);
    startedCount_ = queued;
    expectedIndex_ = 0;
    return queued;
}

std::uint32_t TMMWaveOut::Load(TMMWaveHdr* header)
{
    const auto size = static_cast<std::uint32_t>(GetBufferSize());
    header->BufferLength = size;
    header->BytesRecorded = 0;
    header->LoopFlag = header->LoopCount = header->LoopPosition = header->EndMarker = 0;
    bool more = false;
    TMMCustomWaveDevice::BufferLoad(header, more);
    // Never let the device play past the buffer, whatever upstream claims to have written.
    header->BytesRecorded = std::min(header->BytesRecorded, size);
    header->BufferLength = header->BytesRecorded;
    moreData_ = more && header->BytesRecorded > 0;
    return header->BytesRecorded;
}

void TMMWaveOut::Queue(TMMWaveHdr* header)
{
    if (OnBufferFilled)
        OnBufferFilled(this, header);
    header->QueuedLength = header->BytesRecorded;
    AddToDevice(header, pending_, "WaveOutWrite");
}

// A buffer has been played (device context).
void TMMWaveOut::DeviceBufferDone(TMMWaveHdr* header)
{
    {
        std::lock_guard guard(lock_);
        --pending_;
        CountersChanged();
        if (resetting_) {
            if (pending_ <= 0)
                resetting_ = false;
            return;
        }
        if (stopping_)
            return;
        ++unhandled_;
    }
    Route({header, false});
}

void TMMWaveOut::HandleBuffer(const TMMDeviceMessage&)
{
    TMMWaveHdr* header = nullptr;
    TMMWaveHdr* playing = nullptr;
    {
        std::lock_guard guard(lock_);
        --unhandled_;
        CountersChanged();
        if (!deviceStarted_ || resetting_ || stopping_ || startedCount_ == 0)
            return;
        EnterHandler();
        // Buffers come back in the order they were queued.
        header = buffers_[static_cast<std::size_t>(expectedIndex_)];
        bytesPlayed_ += header->BufferLength;
        expectedIndex_ = (expectedIndex_ + 1) % startedCount_;
        playing = buffers_[static_cast<std::size_t>(expectedIndex_)];
    }
    try {
        header->BytesRecorded = header->QueuedLength;
        header->NextPlaying = playing;
        playing->BytesRecorded = playing->QueuedLength;
        BufferReady(header);
        ReadDevicePosition("WaveOutGetPosition");
        if (moreData_ && !StopRequested()) {
            const std::uint32_t loaded = Load(header);
            if (loaded == 0 && !StopRequested())
                ErrorKey(kErrFillingBuffer);
            Queue(header);
        }
    } catch (...) {
        LeaveHandler();
        throw;
    }
    LeaveHandler();
}

// When the source has ended and the last buffer is played and handled, or a stop was asked for
// meanwhile, the output pauses and stops itself on the main thread.
void TMMWaveOut::HoldForPostedStop()
{
    wave::waveStop(handle_);
}

void TMMWaveOut::Stop()
{
    try {
        TMMCustomWaveDevice::Stop();
    } catch (...) {
        Close();
        throw;
    }
}

void TMMWaveOut::StopDevice()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = resetting_ = true;
    }
    positionOffset_ += ReadDevicePosition("WaveOutGetPosition");
    ClearPositionWraps();
    CheckDeviceCall("WaveOutReset", wave::waveReset(handle_));
}

void TMMWaveOut::CompleteStop()
{
    deviceStarted_ = false;
    devicePaused_ = false;
    TMMCustomSoundComponent::Stop();
    ReleaseStartedBuffers();
    std::lock_guard guard(lock_);
    startedCount_ = pending_ = expectedIndex_ = 0;
}

void TMMWaveOut::ReleaseStartedBuffers()
{
    for (TMMWaveHdr* header : buffers_)
        if (header)
            wave::waveUnprepareHeader(handle_, AsDeviceHeader(header));
    ReleaseBuffers();
}

void TMMWaveOut::LetGoOfDevice()
{
    if (!handle_) {
        deviceOpen_ = false;
        return;
    }
    ReleaseStartedBuffers();
    CheckDeviceCall("WaveOutClose", wave::waveClose(handle_));
    handle_ = nullptr;
    if (!WaitForDevice([this] { return !DeviceOpen(); }))
        Fire(OnError);
}

void TMMWaveOut::Pause()
{
    if (!DeviceOpen())
        Open();
    if (!DeviceOpen() || devicePaused_)
        return;
    if (deviceStarted_) {
        CheckDeviceCall("WaveOutPause", wave::waveStop(handle_));
        devicePaused_ = true;
        if (HasSoundInput()) {
            // Driven by an upstream device: the queued buffers must not play late, so they
            // come back now and are refilled with fresh data at the restart.
            positionOffset_ += ReadDevicePosition("WaveOutGetPosition");
            {
                std::lock_guard guard(lock_);
                resetting_ = true;
            }
            CheckDeviceCall("WaveOutReset", wave::waveReset(handle_));
            std::lock_guard guard(lock_);
            expectedIndex_ = 0;
            pending_ = 0;
            refillOnRestart_ = true;
        }
    }
    devicePaused_ = true;
    TMMCustomSoundComponent::Pause();
    Fire(OnPause);
}

void TMMWaveOut::Restart()
{
    if (!deviceStarted_ || !devicePaused_)
        return;
    {
        std::lock_guard guard(lock_);
        resetting_ = false;
    }
    TMMCustomSoundComponent::Restart();
    if (refillOnRestart_) {
        refillOnRestart_ = false;
        if (Preload() == 0) {
            Stop();
            return;
        }
    }
    CheckDeviceCall("WaveOutRestart", wave::waveStart(handle_));
    devicePaused_ = false;
    Fire(OnRestart);
}

std::int64_t TMMWaveOut::GetPosition()
{
    if (!DeviceOpen() || !WaveFormat())
        return 0;
    return InTimeFormat(positionOffset_ + ReadDevicePosition("WaveOutGetPosition"));
}

std::uint64_t TMMWaveOut::PlayedBytes() const
{
    std::lock_guard guard(lock_);
    return bytesPlayed_;
}
