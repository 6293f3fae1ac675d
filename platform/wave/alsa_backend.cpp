#include "alsa_backend.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace qex::platform::wave {

namespace {

// The program reports device errors itself, with ALSA's texts; the library's own diagnostics
// on stderr would only repeat them.
void quietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsaDiagnostics()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quietErrorHandler); });
}

snd_pcm_stream_t streamOf(WaveDirection direction)
{
    return direction == WaveDirection::Input ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
}

std::string oneLine(std::string text)
{
    std::string::size_type pos = 0;
    while ((pos = text.find('\n', pos)) != std::string::npos)
        text.replace(pos, 1, ", ");
    return text;
}

struct Pcm {
    snd_pcm_t* handle = nullptr;
    ~Pcm()
    {
        if (handle)
            snd_pcm_close(handle);
    }
    int open(const std::string& name, WaveDirection direction)
    {
        silenceAlsaDiagnostics();
        return snd_pcm_open(&handle, name.c_str(), streamOf(direction), SND_PCM_NONBLOCK);
    }
};

class HwParams {
public:
    HwParams() { snd_pcm_hw_params_malloc(&params_); }
    ~HwParams() { snd_pcm_hw_params_free(params_); }
    HwParams(const HwParams&) = delete;
    HwParams& operator=(const HwParams&) = delete;
    snd_pcm_hw_params_t* get() const { return params_; }

private:
    snd_pcm_hw_params_t* params_ = nullptr;
};

int setFormat(snd_pcm_t* pcm, snd_pcm_hw_params_t* params, const WaveFormatEx& format)
{
    if (format.FormatTag != 1 || (format.BitsPerSample != 8 && format.BitsPerSample != 16))
        return -EINVAL;
    int err = snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_INTERLEAVED);
    if (err >= 0)
        err = snd_pcm_hw_params_set_format(pcm, params, format.BitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE);
    if (err >= 0)
        err = snd_pcm_hw_params_set_channels(pcm, params, format.Channels);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate(pcm, params, format.SamplesPerSec, 0);
    return err;
}

WaveFormatEx pcmFormat(int bits, int channels, int rate)
{
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    return {1, static_cast<std::uint16_t>(channels), static_cast<std::uint32_t>(rate),
            static_cast<std::uint32_t>(align * rate), align, static_cast<std::uint16_t>(bits), 0};
}

// Calls visit(name, description) for every PCM the device hints list for the direction; a hint
// without IOID works both ways.
template <typename Visit>
void forEachPcmHint(WaveDirection direction, Visit visit)
{
    silenceAlsaDiagnostics();
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0)
        return;
    const std::string wanted = direction == WaveDirection::Input ? "Input" : "Output";
    for (void** hint = hints; *hint; ++hint) {
        char* name = snd_device_name_get_hint(*hint, "NAME");
        char* desc = snd_device_name_get_hint(*hint, "DESC");
        char* ioid = snd_device_name_get_hint(*hint, "IOID");
        if (name && (!ioid || wanted == ioid))
            visit(std::string(name), oneLine(desc ? desc : name));
        std::free(name);
        std::free(desc);
        std::free(ioid);
    }
    snd_device_name_free_hint(hints);
}

constexpr unsigned kPeriodMicros = 10'000;
constexpr unsigned kPeriodsPerBuffer = 4;
constexpr int kPollTimeoutMs = 200;

class AlsaDevice final : public WaveDevice {
public:
    AlsaDevice(std::string name, WaveDirection direction, const WaveFormatEx& format, WaveCallback callback,
               void* instance)
        : WaveDevice(direction, format, callback, instance), name_(std::move(name)),
          frameBytes_(std::max<std::uint32_t>(format.BlockAlign, 1))
    {
    }

    ~AlsaDevice() override
    {
        if (wakeFd_ >= 0)
            ::close(wakeFd_);
    }

private:
    int openBackend() override
    {
        if (int err = pcm_.open(name_, direction()); err < 0)
            return err;
        HwParams hw;
        int err = snd_pcm_hw_params_any(pcm_.handle, hw.get());
        if (err >= 0)
            err = setFormat(pcm_.handle, hw.get(), format());
        unsigned periodTime = kPeriodMicros;
        unsigned bufferTime = kPeriodMicros * kPeriodsPerBuffer;
        if (err >= 0)
            err = snd_pcm_hw_params_set_period_time_near(pcm_.handle, hw.get(), &periodTime, nullptr);
        if (err >= 0)
            err = snd_pcm_hw_params_set_buffer_time_near(pcm_.handle, hw.get(), &bufferTime, nullptr);
        if (err >= 0)
            err = snd_pcm_hw_params(pcm_.handle, hw.get());
        if (err < 0)
            return err;
        snd_pcm_uframes_t bufferFrames = 0;
        snd_pcm_get_params(pcm_.handle, &bufferFrames, &periodFrames_);
        periodFrames_ = std::max<snd_pcm_uframes_t>(periodFrames_, 1);

        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        snd_pcm_sw_params_current(pcm_.handle, sw);
        snd_pcm_sw_params_set_avail_min(pcm_.handle, sw, periodFrames_);
        // Playback begins as soon as one period is there; capture is started explicitly.
        snd_pcm_sw_params_set_start_threshold(pcm_.handle, sw, isInput() ? bufferFrames * 2 : periodFrames_);
        if ((err = snd_pcm_sw_params(pcm_.handle, sw)) < 0)
            return err;
        if ((err = snd_pcm_prepare(pcm_.handle)) < 0)
            return err;

        const int count = snd_pcm_poll_descriptors_count(pcm_.handle);
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (count < 0 || wakeFd_ < 0)
            return count < 0 ? count : -errno;
        fds_.resize(static_cast<std::size_t>(count) + 1);
        snd_pcm_poll_descriptors(pcm_.handle, fds_.data(), static_cast<unsigned>(count));
        fds_.back() = {wakeFd_, POLLIN, 0};
        // An output plays from the moment it is open until it is paused.
        running_ = !isInput();
        return kWaveNoError;
    }

    void closeBackend() override
    {
        if (pcm_.handle) {
            snd_pcm_drop(pcm_.handle);
            snd_pcm_close(pcm_.handle);
            pcm_.handle = nullptr;
        }
    }

    int execute(Command command, std::unique_lock<std::mutex>& lock) override
    {
        snd_pcm_t* pcm = pcm_.handle;
        switch (command) {
        case Command::Start:
            if (!running_) {
                snd_pcm_prepare(pcm);
                if (isInput())
                    snd_pcm_start(pcm);
                running_ = true;
            }
            break;
        case Command::Stop:
            if (isInput() && running_) {
                takeRecordedRest();
                running_ = false;
                snd_pcm_drop(pcm);
                if (head() && head()->BytesRecorded > 0)
                    handBack(lock);
            } else if (running_) {
                running_ = false;
                snd_pcm_drop(pcm);
            }
            break;
        case Command::Reset:
            snd_pcm_drop(pcm);
            snd_pcm_prepare(pcm);
            if (isInput())
                running_ = false;
            handBackAll(lock);
            progress_ = 0;
            origin_ = transferred_;
            delay_ = 0;
            break;
        case Command::None:
            break;
        }
        return kWaveNoError;
    }

    // Before an input stops, what the card has recorded so far goes into the current buffer.
    void takeRecordedRest()
    {
        WaveHdr* header = head();
        if (!header)
            return;
        const snd_pcm_sframes_t avail = snd_pcm_avail(pcm_.handle);
        const std::uint32_t space = (header->BufferLength - header->BytesRecorded) / frameBytes_;
        if (avail <= 0 || space == 0)
            return;
        const snd_pcm_sframes_t got = snd_pcm_readi(pcm_.handle, header->Data + header->BytesRecorded,
                                                    std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), space));
        if (got > 0) {
            header->BytesRecorded += static_cast<std::uint32_t>(got) * frameBytes_;
            transferred_ += static_cast<std::uint64_t>(got);
        }
    }

    void service(std::unique_lock<std::mutex>& lock) override
    {
        WaveHdr* header = head();
        if (!running_ || !header || failed()) {
            condition_.wait(lock, [this] { return interrupted() || (running_ && head() && !failed()); });
            return;
        }
        std::uint32_t& done = isInput() ? header->BytesRecorded : progress_;
        const std::uint32_t left = (header->BufferLength - done) / frameBytes_;
        if (left == 0) {
            finishHead(lock);
            return;
        }
        const auto frames = std::min<snd_pcm_uframes_t>(left, periodFrames_);
        char* at = header->Data + done;

        // Only this thread takes buffers out of the queue, so the head stays put while unlocked.
        lock.unlock();
        if (isInput()) {
            // A capture PCM that delivers frames without writing them (ALSA's "null") must give
            // silence, not what the buffer held the last time round.
            std::memset(at, format().BitsPerSample == 8 ? 0x80 : 0, frames * frameBytes_);
        }
        snd_pcm_sframes_t moved = isInput() ? snd_pcm_readi(pcm_.handle, at, frames)
                                            : snd_pcm_writei(pcm_.handle, at, frames);
        int failure = 0;
        if (moved == -EAGAIN)
            waitForDevice();
        else if (moved < 0)
            failure = recover(static_cast<int>(moved));
        snd_pcm_sframes_t delay = 0;
        if (!isInput() && moved > 0 && snd_pcm_delay(pcm_.handle, &delay) < 0)
            delay = 0;
        lock.lock();
        if (failure != 0) {
            fail(failure, lock);
            return;
        }

        if (moved > 0) {
            done += static_cast<std::uint32_t>(moved) * frameBytes_;
            transferred_ += static_cast<std::uint64_t>(moved);
            delay_ = std::max<snd_pcm_sframes_t>(delay, 0);
            if ((header->BufferLength - done) / frameBytes_ == 0)
                finishHead(lock);
        }
    }

    void finishHead(std::unique_lock<std::mutex>& lock)
    {
        progress_ = 0;
        handBack(lock);
    }

    // Recovers from an underrun or overrun, a suspend or an interrupted call; 0 when the stream
    // goes on, else the error that ends it (the one given, or the recovery's).
    int recover(int err)
    {
        if (err != -EPIPE && err != -ESTRPIPE && err != -EINTR)
            return err;
        if (err != -EINTR)
            countXrun();
        if (const int result = snd_pcm_recover(pcm_.handle, err, 1); result < 0)
            return result;
        if (isInput())
            snd_pcm_start(pcm_.handle);
        return 0;
    }

    void waitForDevice()
    {
        if (::poll(fds_.data(), static_cast<nfds_t>(fds_.size()), kPollTimeoutMs) > 0) {
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(pcm_.handle, fds_.data(), static_cast<unsigned>(fds_.size() - 1), &revents);
            std::uint64_t count = 0;
            [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
        }
    }

    void wakeBackend() override
    {
        if (wakeFd_ >= 0) {
            const std::uint64_t one = 1;
            [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
        }
    }

    std::uint64_t positionFrames() override
    {
        const std::uint64_t frames = transferred_ - origin_;
        const auto delay = static_cast<std::uint64_t>(delay_);
        return frames > delay ? frames - delay : 0;
    }

    std::string name_;
    const std::uint32_t frameBytes_;
    Pcm pcm_;
    snd_pcm_uframes_t periodFrames_ = 1;
    std::vector<pollfd> fds_;
    int wakeFd_ = -1;
    bool running_ = false;
    std::uint32_t progress_ = 0;    // bytes of the head buffer written so far (output)
    std::uint64_t transferred_ = 0; // frames moved since open
    std::uint64_t origin_ = 0;      // transferred_ at the last reset
    snd_pcm_sframes_t delay_ = 0;   // frames written but not yet heard (output)
};

} // namespace

std::vector<AlsaPcm> alsaPcms(WaveDirection direction)
{
    std::vector<AlsaPcm> list;
    forEachPcmHint(direction, [&list](const std::string& name, const std::string& description) {
        if (name != "default")
            list.push_back({name, description});
    });
    return list;
}

std::string alsaDefaultDescription(WaveDirection direction)
{
    std::string result = "Default ALSA device";
    forEachPcmHint(direction, [&result](const std::string& name, const std::string& description) {
        if (name == "default")
            result = description;
    });
    return result;
}

void alsaProbeFormats(const std::string& pcm, WaveDirection direction, WaveCaps& caps)
{
    caps.Formats = 0;
    caps.Channels = 0;
    Pcm device;
    if (device.open(pcm, direction) < 0)
        return;
    HwParams any;
    if (snd_pcm_hw_params_any(device.handle, any.get()) < 0)
        return;
    unsigned maxChannels = 0;
    if (snd_pcm_hw_params_get_channels_max(any.get(), &maxChannels) >= 0)
        caps.Channels = static_cast<std::uint16_t>(std::min(maxChannels, 0xFFFFu));
    static constexpr int kRates[] = {11025, 22050, 44100};
    HwParams trial;
    for (int group = 0; group < 3; ++group)
        for (int channels = 1; channels <= 2; ++channels)
            for (int bits : {8, 16}) {
                snd_pcm_hw_params_copy(trial.get(), any.get());
                if (setFormat(device.handle, trial.get(), pcmFormat(bits, channels, kRates[group])) >= 0)
                    caps.Formats |= standardFormatBit(group, channels, bits);
            }
}

int alsaQuery(const std::string& pcm, WaveDirection direction, const WaveFormatEx& format)
{
    Pcm device;
    if (const int err = device.open(pcm, direction); err < 0)
        return err;
    HwParams params;
    if (const int err = snd_pcm_hw_params_any(device.handle, params.get()); err < 0)
        return err;
    return setFormat(device.handle, params.get(), format) < 0 ? kWaveErrBadFormat : kWaveNoError;
}

std::unique_ptr<WaveDevice> makeAlsaDevice(const std::string& pcm, WaveDirection direction,
                                           const WaveFormatEx& format, WaveCallback callback, void* instance)
{
    return std::make_unique<AlsaDevice>(pcm, direction, format, callback, instance);
}

std::string alsaErrorText(int code)
{
    return snd_strerror(code);
}

} // namespace qex::platform::wave
