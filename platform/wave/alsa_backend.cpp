#include "alsa_backend.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
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
        err = snd_pcm_hw_params_set_format(pcm, params,
                                           format.BitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE);
    if (err >= 0)
        err = snd_pcm_hw_params_set_channels(pcm, params, format.Channels);
    if (err >= 0)
        err = snd_pcm_hw_params_set_rate(pcm, params, format.SamplesPerSec, 0);
    return err;
}

WaveFormatEx pcmFormat(int bits, int channels, int rate)
{
    const auto align = static_cast<std::uint16_t>(channels * bits / 8);
    return {1,
            static_cast<std::uint16_t>(channels),
            static_cast<std::uint32_t>(rate),
            static_cast<std::uint32_t>(align * rate),
            align,
            static_cast<std::uint16_t>(bits),
            0};
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

constexpr int kPollTimeoutMs = 200;

// Whether a frame counter has reached a frame stamped in a buffer header (both modulo 2^32).
bool reached(std::uint64_t frames, std::uint32_t stamp)
{
    return static_cast<std::uint32_t>(static_cast<std::uint32_t>(frames) - stamp) < 0x80000000u;
}

// An open PCM. Its own buffer follows the program's buffers: one period per buffer, as many
// periods as buffers are queued when it starts, so that the card adds no buffering of its own.
// A playback device writes every queued buffer to the card as soon as there is room and hands a
// buffer back once the card has played it, as a sound card playing from the queued buffers
// would; a capture device reads each period into the buffer at the head of the queue.
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

    // What a capture card has recorded and the program has not read yet; a playback card holds
    // nothing but the queued buffers.
    std::uint32_t deviceBufferFrames() const override { return unread_.load(std::memory_order_relaxed); }

private:
    int openBackend() override
    {
        if (int err = pcm_.open(name_, direction()); err < 0)
            return err;
        HwParams hw;
        int err = snd_pcm_hw_params_any(pcm_.handle, hw.get());
        if (err >= 0)
            err = setFormat(pcm_.handle, hw.get(), format());
        if (err < 0)
            return err;
        wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd_ < 0)
            return -errno;
        // An output plays from the moment it is open until it is paused.
        running_ = !isInput();
        return kWaveNoError;
    }

    // Sets the card's buffer from the queued buffers: the head's length is the period. Once per
    // open: the buffers of an open device keep their size.
    int configure()
    {
        const WaveHdr* header = head();
        if (configured_ || !header)
            return 0;
        snd_pcm_t* pcm = pcm_.handle;
        snd_pcm_uframes_t period = std::max<std::uint32_t>(header->BufferLength / frameBytes_, 1);
        snd_pcm_uframes_t buffer = period * std::max<std::uint32_t>(queuedBuffers(), 2);
        HwParams hw;
        int err = snd_pcm_hw_params_any(pcm, hw.get());
        if (err >= 0)
            err = setFormat(pcm, hw.get(), format());
        if (err >= 0)
            err = snd_pcm_hw_params_set_period_size_near(pcm, hw.get(), &period, nullptr);
        if (err >= 0)
            err = snd_pcm_hw_params_set_buffer_size_near(pcm, hw.get(), &buffer);
        if (err >= 0)
            err = snd_pcm_hw_params(pcm, hw.get());
        if (err < 0)
            return err;
        snd_pcm_get_params(pcm, &buffer, &periodFrames_);
        periodFrames_ = std::max<snd_pcm_uframes_t>(periodFrames_, 1);

        snd_pcm_sw_params_t* sw = nullptr;
        snd_pcm_sw_params_alloca(&sw);
        snd_pcm_sw_params_current(pcm, sw);
        snd_pcm_sw_params_set_avail_min(pcm, sw, periodFrames_);
        // Playback begins as soon as one period is there; capture is started explicitly.
        snd_pcm_sw_params_set_start_threshold(pcm, sw, isInput() ? buffer * 2 : periodFrames_);
        if ((err = snd_pcm_sw_params(pcm, sw)) < 0 || (err = snd_pcm_prepare(pcm)) < 0)
            return err;
        const int count = snd_pcm_poll_descriptors_count(pcm);
        if (count < 0)
            return count;
        fds_.resize(static_cast<std::size_t>(count) + 1);
        snd_pcm_poll_descriptors(pcm, fds_.data(), static_cast<unsigned>(count));
        fds_.back() = {wakeFd_, POLLIN, 0};
        configured_ = true;
        return 0;
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
                if (const int err = configure(); err < 0)
                    return err;
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
                unread_ = 0;
                if (head() && head()->BytesRecorded > 0)
                    handBack(lock);
            } else if (running_) {
                // What the card has not played yet is written again when it plays on.
                running_ = false;
                written_ = playedFrames();
                snd_pcm_drop(pcm);
                rewind();
            }
            break;
        case Command::Reset:
            if (!isInput())
                written_ = playedFrames();
            snd_pcm_drop(pcm);
            snd_pcm_prepare(pcm);
            if (isInput())
                running_ = false;
            unread_ = 0;
            handBackAll(lock);
            rewind();
            origin_ = isInput() ? transferred_ : written_;
            break;
        case Command::None: break;
        }
        return kWaveNoError;
    }

    // The next buffer to write to the card is the head again.
    void rewind()
    {
        cursor_ = head();
        cursorDone_ = 0;
    }

    void queued(WaveHdr* header) override
    {
        if (!isInput() && !cursor_)
            cursor_ = header;
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
        const snd_pcm_sframes_t got =
            snd_pcm_readi(pcm_.handle, header->Data + header->BytesRecorded,
                          std::min<snd_pcm_uframes_t>(static_cast<snd_pcm_uframes_t>(avail), space));
        if (got > 0) {
            header->BytesRecorded += static_cast<std::uint32_t>(got) * frameBytes_;
            transferred_ += static_cast<std::uint64_t>(got);
        }
    }

    void service(std::unique_lock<std::mutex>& lock) override
    {
        if (running_ && head() && !failed() && !configured_) {
            if (const int err = configure(); err < 0) {
                fail(err, lock);
                rewind();
                return;
            }
        }
        if (!running_ || !head() || failed()) {
            condition_.wait(lock, [this] { return interrupted() || (running_ && head() && !failed()); });
            return;
        }
        if (isInput())
            serviceCapture(lock);
        else
            servicePlayback(lock);
    }

    void serviceCapture(std::unique_lock<std::mutex>& lock)
    {
        WaveHdr* header = head();
        const std::uint32_t left = (header->BufferLength - header->BytesRecorded) / frameBytes_;
        if (left == 0) {
            handBack(lock);
            return;
        }
        const auto frames = std::min<snd_pcm_uframes_t>(left, periodFrames_);
        char* at = header->Data + header->BytesRecorded;

        // Only this thread takes buffers out of the queue, so the head stays put while unlocked.
        lock.unlock();
        // A capture PCM that delivers frames without writing them (ALSA's "null") must give
        // silence, not what the buffer held the last time round.
        std::memset(at, format().BitsPerSample == 8 ? 0x80 : 0, frames * frameBytes_);
        const snd_pcm_sframes_t moved = snd_pcm_readi(pcm_.handle, at, frames);
        int failure = 0;
        if (moved == -EAGAIN)
            waitForDevice(kPollTimeoutMs);
        else if (moved < 0)
            failure = recover(static_cast<int>(moved));
        const snd_pcm_sframes_t unread = snd_pcm_avail_update(pcm_.handle);
        unread_.store(unread > 0 ? static_cast<std::uint32_t>(unread) : 0, std::memory_order_relaxed);
        lock.lock();
        if (failure != 0) {
            fail(failure, lock);
            return;
        }
        if (moved > 0) {
            header->BytesRecorded += static_cast<std::uint32_t>(moved) * frameBytes_;
            transferred_ += static_cast<std::uint64_t>(moved);
            if ((header->BufferLength - header->BytesRecorded) / frameBytes_ == 0)
                handBack(lock);
        }
    }

    // Frames the card has played since open: written, less what it still holds. After an
    // underrun it holds nothing.
    std::uint64_t playedFrames()
    {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_.handle, &delay) < 0)
            delay = 0;
        const auto held = static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0));
        return written_ > held ? written_ - held : 0;
    }

    void servicePlayback(std::unique_lock<std::mutex>& lock)
    {
        // Played buffers go back, in queue order; every buffer before the cursor is at the card.
        const std::uint64_t played = playedFrames();
        while (WaveHdr* header = head()) {
            if (header == cursor_ || !reached(played, header->Reserved))
                break;
            handBack(lock);
        }
        if (interrupted() || !head())
            return;
        if (!cursor_) {
            // All there is has been written: wait until the head has played, or for more.
            const std::uint32_t left = head()->Reserved - static_cast<std::uint32_t>(played);
            const std::uint64_t ms = std::uint64_t{left} * 1000 / std::max<std::uint32_t>(format().SamplesPerSec, 1);
            const int timeout = static_cast<int>(std::min<std::uint64_t>(ms, kPollTimeoutMs)) + 1;
            lock.unlock();
            waitForWake(timeout);
            lock.lock();
            return;
        }
        WaveHdr* header = cursor_;
        const std::uint32_t left = (header->BufferLength - cursorDone_) / frameBytes_;
        const char* at = header->Data + cursorDone_;
        // Only this thread takes buffers out of the queue, so the cursor stays put while unlocked.
        lock.unlock();
        const snd_pcm_sframes_t moved = left > 0 ? snd_pcm_writei(pcm_.handle, at, left) : 0;
        int failure = 0;
        if (moved == -EAGAIN)
            waitForDevice(kPollTimeoutMs);
        else if (moved < 0)
            failure = recover(static_cast<int>(moved));
        lock.lock();
        if (failure != 0) {
            fail(failure, lock);
            rewind();
            return;
        }
        if (moved > 0) {
            cursorDone_ += static_cast<std::uint32_t>(moved) * frameBytes_;
            written_ += static_cast<std::uint64_t>(moved);
        }
        if ((header->BufferLength - cursorDone_) / frameBytes_ == 0) {
            header->Reserved = static_cast<std::uint32_t>(written_);
            cursor_ = header->Next;
            cursorDone_ = 0;
        }
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

    // Waits until the card has room or data, or the device is woken.
    void waitForDevice(int timeoutMs)
    {
        if (::poll(fds_.data(), static_cast<nfds_t>(fds_.size()), timeoutMs) > 0) {
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(pcm_.handle, fds_.data(), static_cast<unsigned>(fds_.size() - 1),
                                             &revents);
            clearWake();
        }
    }

    // Waits only for the device to be woken, at most timeoutMs.
    void waitForWake(int timeoutMs)
    {
        pollfd wake{wakeFd_, POLLIN, 0};
        if (::poll(&wake, 1, timeoutMs) > 0)
            clearWake();
    }

    void clearWake()
    {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
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
        if (isInput())
            return transferred_ - origin_;
        const std::uint64_t played = configured_ ? playedFrames() : written_;
        return played > origin_ ? played - origin_ : 0;
    }

    std::string name_;
    const std::uint32_t frameBytes_;
    Pcm pcm_;
    bool configured_ = false;
    snd_pcm_uframes_t periodFrames_ = 1;
    std::vector<pollfd> fds_;
    int wakeFd_ = -1;
    bool running_ = false;
    std::uint64_t transferred_ = 0;        // frames recorded since open (input)
    std::uint64_t written_ = 0;            // frames written to the card since open (output)
    std::uint64_t origin_ = 0;             // the frame count at the last reset
    WaveHdr* cursor_ = nullptr;            // the first queued buffer not yet all written (output)
    std::uint32_t cursorDone_ = 0;         // bytes of it written
    std::atomic<std::uint32_t> unread_{0}; // frames the capture card holds for us
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

std::unique_ptr<WaveDevice> makeAlsaDevice(const std::string& pcm, WaveDirection direction, const WaveFormatEx& format,
                                           WaveCallback callback, void* instance)
{
    return std::make_unique<AlsaDevice>(pcm, direction, format, callback, instance);
}

std::string alsaErrorText(int code)
{
    return snd_strerror(code);
}

} // namespace qex::platform::wave
