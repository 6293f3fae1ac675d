#include "virtual_backend.h"

#include "test_signal.h"

#include <algorithm>

namespace qex::platform::wave {

namespace {

constexpr std::int64_t kNanosPerSecond = 1'000'000'000;

// The frame clock of a virtual device: frames advance with the clock while running and stand
// still otherwise. Exact integer arithmetic, so nothing drifts however long it runs; a frame
// counts from the middle of its period, so that a clock stepped in whole nanoseconds always
// lands on the frame it was meant for.
class FrameClock {
public:
    explicit FrameClock(std::uint32_t rate) : rate_(rate) {}

    std::uint64_t framesAt(ClockTime now) const
    {
        if (!running_)
            return base_;
        const __int128 elapsed = std::max<std::int64_t>((now - start_).count(), 0);
        return base_ + static_cast<std::uint64_t>((elapsed * rate_ + kNanosPerSecond / 2) / kNanosPerSecond);
    }

    // The earliest time at which framesAt() reaches frame.
    ClockTime timeOf(std::uint64_t frame) const
    {
        if (!running_)
            return kNoDeadline;
        if (frame <= base_)
            return start_;
        const __int128 span = static_cast<__int128>(frame - base_) * kNanosPerSecond - kNanosPerSecond / 2;
        return start_ + ClockTime(static_cast<std::int64_t>((span + rate_ - 1) / rate_));
    }

    void run(ClockTime now)
    {
        if (running_)
            return;
        start_ = now;
        running_ = true;
    }

    void halt(ClockTime now)
    {
        base_ = framesAt(now);
        running_ = false;
    }

    bool running() const { return running_; }

private:
    std::uint32_t rate_;
    std::uint64_t base_ = 0;
    ClockTime start_{0};
    bool running_ = false;
};

class VirtualDevice : public WaveDevice, private WaveClockListener {
public:
    VirtualDevice(WaveDirection direction, const WaveFormatEx& format, WaveCallback callback, void* instance,
                  std::shared_ptr<WaveClock> clock, VirtualFailure failure)
        : WaveDevice(direction, format, callback, instance), clock_(std::move(clock)), failure_(std::move(failure)),
          frames_(format.SamplesPerSec), frameBytes_(std::max<std::uint32_t>(format.BlockAlign, 1))
    {
    }

protected:
    int openBackend() override
    {
        clock_->attach(this);
        return kWaveNoError;
    }

    void closeBackend() override { clock_->detach(this); }

    void service(std::unique_lock<std::mutex>& lock) override
    {
        const ClockTime now = clock_->now();
        changed_ = false;
        if (const int code = failure_->load(); code != 0 && !failed())
            fail(code, lock);
        if (!failed())
            catchUp(now, lock);
        if (interrupted() || changed_)
            return;
        const ClockTime deadline = failed() ? kNoDeadline : nextDeadline();
        lock.unlock();
        clock_->settled(this, now);
        lock.lock();
        while (!interrupted() && !changed_ && !clock_->due(now, deadline))
            clock_->block(lock, condition_, deadline);
    }

    void queued(WaveHdr*) override { changed_ = true; }

    // Does everything that became due up to now.
    virtual void catchUp(ClockTime now, std::unique_lock<std::mutex>& lock) = 0;
    virtual ClockTime nextDeadline() const = 0;

    std::uint32_t framesOf(const WaveHdr* header) const { return header->BufferLength / frameBytes_; }

    std::shared_ptr<WaveClock> clock_;
    VirtualFailure failure_;
    FrameClock frames_;
    const std::uint32_t frameBytes_;
    bool changed_ = false;

private:
    void clockAdvanced() override
    {
        std::lock_guard guard(lock_);
        condition_.notify_all();
    }
};

class VirtualInput final : public VirtualDevice {
public:
    VirtualInput(const WaveFormatEx& format, WaveCallback callback, void* instance, std::shared_ptr<WaveClock> clock,
                 VirtualFailure failure)
        : VirtualDevice(WaveDirection::Input, format, callback, instance, std::move(clock), std::move(failure)),
          signal_(format.SamplesPerSec)
    {
    }

private:
    int execute(Command command, std::unique_lock<std::mutex>& lock) override
    {
        const ClockTime now = clock_->now();
        switch (command) {
        case Command::Start: frames_.run(now); break;
        case Command::Stop:
            catchUp(now, lock);
            frames_.halt(now);
            if (head() && head()->BytesRecorded > 0)
                handBack(lock);
            break;
        case Command::Reset:
            catchUp(now, lock);
            frames_.halt(now);
            origin_ = recorded_;
            handBackAll(lock);
            break;
        case Command::None: break;
        }
        return kWaveNoError;
    }

    void catchUp(ClockTime now, std::unique_lock<std::mutex>& lock) override
    {
        const std::uint64_t target = frames_.framesAt(now);
        while (recorded_ < target) {
            WaveHdr* header = head();
            if (!header) {
                // Nothing queued to record into: these frames are lost.
                if (!overrun_)
                    countXrun();
                overrun_ = true;
                recorded_ = target;
                break;
            }
            const std::uint32_t space = (header->BufferLength - header->BytesRecorded) / frameBytes_;
            const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(space, target - recorded_));
            signal_.render(recorded_, count, format(), header->Data + header->BytesRecorded);
            header->BytesRecorded += count * frameBytes_;
            recorded_ += count;
            overrun_ = false;
            if (count == space)
                handBack(lock);
        }
    }

    ClockTime nextDeadline() const override
    {
        const WaveHdr* header = head();
        if (!header)
            return kNoDeadline;
        const std::uint32_t space = (header->BufferLength - header->BytesRecorded) / frameBytes_;
        return frames_.timeOf(recorded_ + space);
    }

    std::uint64_t positionFrames() override { return frames_.framesAt(clock_->now()) - origin_; }

    ProgramSignal signal_;
    std::uint64_t recorded_ = 0; // frames taken from the signal, recorded or lost
    std::uint64_t origin_ = 0;   // recorded_ at the last reset
    bool overrun_ = false;
};

class VirtualOutput final : public VirtualDevice {
public:
    VirtualOutput(const WaveFormatEx& format, WaveCallback callback, void* instance, std::shared_ptr<WaveClock> clock,
                  VirtualFailure failure)
        : VirtualDevice(WaveDirection::Output, format, callback, instance, std::move(clock), std::move(failure))
    {
        // An output plays from the moment it is open until it is paused.
        frames_.run(clock_->now());
    }

private:
    int execute(Command command, std::unique_lock<std::mutex>& lock) override
    {
        const ClockTime now = clock_->now();
        switch (command) {
        case Command::Start: frames_.run(now); break;
        case Command::Stop:
            catchUp(now, lock);
            frames_.halt(now);
            break;
        case Command::Reset:
            catchUp(now, lock);
            handBackAll(lock);
            played_ = 0;
            lastEnd_ = frames_.framesAt(now);
            break;
        case Command::None: break;
        }
        return kWaveNoError;
    }

    void queued(WaveHdr* header) override
    {
        VirtualDevice::queued(header);
        if (header != head())
            return;
        // The queue was empty: this buffer starts now, or when the last one ends.
        const std::uint64_t now = frames_.framesAt(clock_->now());
        if (played_ > 0 && lastEnd_ < now)
            countXrun();
        headStart_ = std::max(now, lastEnd_);
    }

    void catchUp(ClockTime now, std::unique_lock<std::mutex>& lock) override
    {
        const std::uint64_t current = frames_.framesAt(now);
        while (const WaveHdr* header = head()) {
            const std::uint64_t end = headStart_ + framesOf(header);
            if (end > current)
                break;
            lastEnd_ = end;
            headStart_ = end;
            played_ += framesOf(header);
            handBack(lock);
        }
    }

    ClockTime nextDeadline() const override
    {
        const WaveHdr* header = head();
        return header ? frames_.timeOf(headStart_ + framesOf(header)) : kNoDeadline;
    }

    std::uint64_t positionFrames() override
    {
        const WaveHdr* header = head();
        if (!header)
            return played_;
        const std::uint64_t current = frames_.framesAt(clock_->now());
        const std::uint64_t into = current > headStart_ ? current - headStart_ : 0;
        return played_ + std::min<std::uint64_t>(into, framesOf(header));
    }

    std::uint64_t played_ = 0;    // frames of the buffers played since open or reset
    std::uint64_t lastEnd_ = 0;   // frame at which the last played buffer ended
    std::uint64_t headStart_ = 0; // frame at which the head buffer starts
};

} // namespace

bool virtualDeviceAccepts(const WaveFormatEx& format)
{
    return format.FormatTag == 1 && (format.BitsPerSample == 8 || format.BitsPerSample == 16) && format.Channels >= 1 &&
        format.Channels <= 8 && format.SamplesPerSec > 0 &&
        format.BlockAlign == format.Channels * format.BitsPerSample / 8;
}

std::unique_ptr<WaveDevice> makeVirtualDevice(WaveDirection direction, const WaveFormatEx& format,
                                              WaveCallback callback, void* instance, std::shared_ptr<WaveClock> clock,
                                              VirtualFailure failure)
{
    if (direction == WaveDirection::Input)
        return std::make_unique<VirtualInput>(format, callback, instance, std::move(clock), std::move(failure));
    return std::make_unique<VirtualOutput>(format, callback, instance, std::move(clock), std::move(failure));
}

} // namespace qex::platform::wave
