#include "wave_in.h"

#include <algorithm>

namespace wave = qex::platform::wave;

namespace {

// The standard-format bit a recording format needs, or 0 when the format is not one of the
// standard combinations (then the device's answer to the query is enough).
std::uint32_t requiredFormatBit(const TWaveFormatEx& format)
{
    if ((format.Channels != 1 && format.Channels != 2) || (format.BitsPerSample != 8 && format.BitsPerSample != 16))
        return 0;
    // Rates compare on their low 16 bits, as the capability record has always been read.
    const std::uint32_t rate = format.SamplesPerSec & 0xFFFF;
    int group = -1;
    if (rate >= 8000 && rate <= 11025)
        group = 0;
    else if (rate >= 11026 && rate <= 22050)
        group = 1;
    else if (rate >= 22051 && rate <= 48000)
        group = 2;
    return group < 0 ? 0 : wave::standardFormatBit(group, format.Channels, format.BitsPerSample);
}

constexpr int kMaxBuffers = 4096;
// 10 ms steps that open, stop and close wait for the device at the most.
constexpr int kWaitSteps = 100;

} // namespace

TMMWaveIn::TMMWaveIn()
    : TMMCustomWaveDevice(WaveDirection::Input, kErrNoRecordingDevice, "TMMWaveIn", kMaxBuffers, kWaitSteps)
{
    RebuildFormat();
}

TMMWaveIn::~TMMWaveIn()
{
    BeginDestroy();
    if (DeviceOpen())
        Close();
    FinishThread();
}

std::exception_ptr TMMWaveIn::MakeError(const std::string& message) const
{
    return std::make_exception_ptr(EMMWaveInError(message));
}

TMMMode TMMWaveIn::GetMode() const
{
    return channels_ == 1 ? TMMMode::mMono : channels_ == 2 ? TMMMode::mStereo : TMMMode::mMultiChannel;
}

void TMMWaveIn::SetMode(TMMMode mode)
{
    if (mode != TMMMode::mMultiChannel)
        SetChannels(mode == TMMMode::mMono ? 1 : 2);
}

void TMMWaveIn::SetChannels(int channels)
{
    CheckNotOpen();
    channels_ = std::clamp(channels, 1, 8);
    RebuildFormat();
}

void TMMWaveIn::SetBitLength(TMMBits bits)
{
    CheckNotOpen();
    bits_ = bits == TMMBits::b16Bit ? 16 : 8;
    RebuildFormat();
}

void TMMWaveIn::SetSampleRate(int rate)
{
    CheckNotOpen();
    rate_ = std::clamp(rate, 8000, 100000);
    RebuildFormat();
}

void TMMWaveIn::RebuildFormat()
{
    const TWaveFormatEx format = pcmWaveFormat(bits_, channels_, rate_);
    SetWaveFormat(&format);
}

void TMMWaveIn::SetWaveFormat(const TWaveFormatEx* format)
{
    if (isValidPcm(format)) {
        rate_ = static_cast<int>(format->SamplesPerSec);
        bits_ = format->BitsPerSample;
        channels_ = format->Channels;
    }
    TMMCustomWaveDevice::SetWaveFormat(format);
}

void TMMWaveIn::CheckFormat()
{
    const TWaveFormatEx& format = *WaveFormat();
    bool accepted = DeviceTakesFormat("WaveInOpen");
    if (accepted && format.FormatTag == WAVE_FORMAT_PCM) {
        wave::WaveCaps caps;
        const std::uint32_t bit = requiredFormatBit(format);
        accepted = wave::waveGetDevCaps(Direction(), GetDeviceID(), caps, wave::WaveCapsDetail::Probed) ==
                wave::kWaveNoError &&
            (bit == 0 || (caps.Formats & bit) != 0);
    }
    if (!accepted)
        Error(deviceCallMessage("WaveInOpen", MMErrorText(kErrCannotRecordFormat)));
}

void TMMWaveIn::Open()
{
    if (DeviceCount() == 0)
        ErrorKey(kErrNoRecordingDevice);
    if (GetDeviceID() == InvalidId)
        ErrorKey(kErrInvalidDeviceId);
    if (!WaveFormat())
        ErrorKey(kErrInvalidFormat);
    if (DeviceOpen())
        Close();
    if (closing_)
        return;
    try {
        CheckFormat();
        closePending_ = false;
        handle_ = nullptr;
        if (!LaunchThread())
            Error(deviceCallMessage("WaveIn", MMErrorText(kErrCreateThread)));
        CheckDeviceCall("WaveInOpen", OpenDevice(false));
        TMMCustomSoundComponent::Open();
        if (!WaitForDevice([this] { return DeviceOpen(); }))
            Error(deviceCallMessage("WaveInOpen", MMErrorText(kErrUnableToOpen)));
        AllocateBuffers();
        Fire(OnOpen);
    } catch (...) {
        AbandonOpen();
        throw;
    }
}

void TMMWaveIn::AllocateBuffers()
{
    buffers_.resize(static_cast<std::size_t>(GetNumBuffers()), nullptr);
    for (TMMWaveHdr*& header : buffers_) {
        if (header)
            continue;
        header = NewBuffer();
        CheckDeviceCall("WaveInPrepareHeader", wave::wavePrepareHeader(handle_, AsDeviceHeader(header)));
    }
}

void TMMWaveIn::Start()
{
    if (!DeviceOpen())
        Open();
    if (!DeviceOpen() || deviceStarted_)
        return;
    try {
        {
            std::lock_guard guard(lock_);
            ClearStopState();
            bytesRecorded_ = 0;
            expectedIndex_ = 0;
            queued_ = 0;
        }
        ClearPositionWraps();
        for (TMMWaveHdr* header : buffers_)
            AddToDevice(header, queued_, "WaveInAddBuffer");
        deviceStarted_ = true;
        if (!devicePaused_)
            CheckDeviceCall("WaveInStart", wave::waveStart(handle_));
        TMMCustomSoundComponent::Start();
        Fire(OnStart);
    } catch (...) {
        deviceStarted_ = true;
        Close();
        deviceOpen_ = false;
        throw;
    }
}

// A buffer is back from the device (device context). A buffer handed back by a device stop is
// the partly recorded one: it is pushed whatever the stop has reached by the time it is handled.
void TMMWaveIn::DeviceBufferDone(TMMWaveHdr* header)
{
    bool stopReturn = false;
    {
        std::lock_guard guard(lock_);
        stopReturn = stopping_ && !resetting_;
    }
    Route({header, stopReturn});
}

void TMMWaveIn::HandleBuffer(const TMMDeviceMessage& message)
{
    if (!deviceStarted_)
        return;
    TMMWaveHdr* header = message.header;
    bool handedBack = false; // by a stop or a reset
    bool push = true;
    {
        std::lock_guard guard(lock_);
        handedBack = stopping_ || resetting_ || message.stopReturn;
        // Of what a stop or a reset hands back, only the partly recorded buffer goes downstream.
        if (handedBack)
            push = (message.stopReturn || !resetting_) && header->BytesRecorded > 0;
        else
            --queued_;
        EnterHandler();
    }
    try {
        if (push)
            BufferReady(header);
        if (handedBack)
            CountHandedBack();
        else
            Requeue(header);
    } catch (...) {
        LeaveHandler();
        throw;
    }
    LeaveHandler();
}

void TMMWaveIn::CountHandedBack()
{
    std::lock_guard guard(lock_);
    if (queued_ > 0 && --queued_ == 0)
        resetting_ = false;
}

void TMMWaveIn::Requeue(TMMWaveHdr* header)
{
    if (StopRequested())
        return;
    ReadDevicePosition("WaveInGetPosition");
    AddToDevice(header, queued_, "WaveInAddBuffer");
}

void TMMWaveIn::BufferReady(TMMWaveHdr* lpWaveHdr)
{
    {
        std::lock_guard guard(lock_);
        bytesRecorded_ += lpWaveHdr->BytesRecorded;
        expectedIndex_ = (expectedIndex_ + 1) % GetNumBuffers();
    }
    TMMCustomWaveDevice::BufferReady(lpWaveHdr);
}

void TMMWaveIn::StopDevice()
{
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    // The device hands back the buffer it was recording into, with what it holds.
    CheckDeviceCall("WaveInStop", wave::waveStop(handle_));
    ClearPositionWraps();
    {
        std::lock_guard guard(lock_);
        resetting_ = true;
    }
    CheckDeviceCall("WaveInReset", wave::waveReset(handle_));
}

void TMMWaveIn::CompleteStop()
{
    {
        std::lock_guard guard(lock_);
        expectedIndex_ = 0;
        queued_ = 0;
    }
    deviceStarted_ = false;
    devicePaused_ = false;
    TMMCustomSoundComponent::Stop();
}

void TMMWaveIn::LetGoOfDevice()
{
    if (!handle_) {
        deviceOpen_ = false;
        return;
    }
    wave::waveStop(handle_);
    wave::waveReset(handle_);
    for (TMMWaveHdr* header : buffers_)
        if (header)
            CheckDeviceCall("WaveInUnprepareHeader", wave::waveUnprepareHeader(handle_, AsDeviceHeader(header)));
    CheckDeviceCall("WaveInClose", wave::waveClose(handle_));
    handle_ = nullptr;
    WaitForDevice([this] { return !DeviceOpen(); });
}

void TMMWaveIn::Pause()
{
    if (!DeviceOpen())
        Open();
    if (!DeviceOpen() || devicePaused_)
        return;
    if (deviceStarted_)
        CheckDeviceCall("WaveInPause", wave::waveStop(handle_));
    devicePaused_ = true;
    TMMCustomSoundComponent::Pause();
    Fire(OnPause);
}

void TMMWaveIn::Restart()
{
    if (!deviceStarted_ || !devicePaused_)
        return;
    CheckDeviceCall("WaveInRestart", wave::waveStart(handle_));
    devicePaused_ = false;
    TMMCustomSoundComponent::Restart();
    Fire(OnRestart);
}

std::int64_t TMMWaveIn::GetPosition()
{
    if (!DeviceOpen() || !WaveFormat())
        return 0;
    return InTimeFormat(ReadDevicePosition("WaveInGetPosition"));
}

std::uint64_t TMMWaveIn::RecordedBytes() const
{
    std::lock_guard guard(lock_);
    return bytesRecorded_;
}
