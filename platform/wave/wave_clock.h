#pragma once
// The clock that paces the virtual devices: the system's steady clock for real-time use, or a
// clock the caller moves by hand, so that device behaviour over time is deterministic and fast.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace qex::platform::wave {

using ClockTime = std::chrono::nanoseconds;
constexpr ClockTime kNoDeadline = ClockTime::max();

// A device thread that waits on a clock.
class WaveClockListener {
public:
    virtual ~WaveClockListener() = default;
    // The clock moved: wake the device thread (from any thread).
    virtual void clockAdvanced() = 0;
};

class WaveClock {
public:
    virtual ~WaveClock() = default;
    virtual ClockTime now() const = 0;
    // Whether a device that last processed the clock at `seen` has work due before `deadline`.
    virtual bool due(ClockTime seen, ClockTime deadline) const = 0;
    // One wait on the device's condition, ending by the deadline at the latest; may end early.
    virtual void block(std::unique_lock<std::mutex>& lock, std::condition_variable& condition, ClockTime deadline) = 0;
    virtual void attach(WaveClockListener*) {}
    virtual void detach(WaveClockListener*) {}
    // The device has done everything that was due at `seen` and is about to wait.
    virtual void settled(WaveClockListener*, ClockTime) {}
};

class SystemWaveClock final : public WaveClock {
public:
    ClockTime now() const override;
    bool due(ClockTime seen, ClockTime deadline) const override;
    void block(std::unique_lock<std::mutex>& lock, std::condition_variable& condition, ClockTime deadline) override;
};

// Time stands still until advance(). advance() returns once every attached device has done all
// the work that became due, so that the notifications of that time span have been sent.
class ManualWaveClock final : public WaveClock {
public:
    ClockTime now() const override;
    bool due(ClockTime seen, ClockTime deadline) const override;
    void block(std::unique_lock<std::mutex>& lock, std::condition_variable& condition, ClockTime deadline) override;
    void attach(WaveClockListener* listener) override;
    void detach(WaveClockListener* listener) override;
    void settled(WaveClockListener* listener, ClockTime seen) override;

    void advance(ClockTime step);

private:
    struct Attached {
        WaveClockListener* listener;
        ClockTime settledAt;
    };
    bool allSettled() const;

    mutable std::mutex lock_;
    std::condition_variable settledCondition_;
    std::vector<Attached> attached_;
    // Read by device threads that hold their own lock, so never behind the clock's lock.
    std::atomic<std::int64_t> now_{0};
};

} // namespace qex::platform::wave
