#include "wave_clock.h"

#include <algorithm>

namespace qex::platform::wave {

ClockTime SystemWaveClock::now() const
{
    return std::chrono::duration_cast<ClockTime>(std::chrono::steady_clock::now().time_since_epoch());
}

bool SystemWaveClock::due(ClockTime, ClockTime deadline) const
{
    return deadline != kNoDeadline && now() >= deadline;
}

void SystemWaveClock::block(std::unique_lock<std::mutex>& lock, std::condition_variable& condition, ClockTime deadline)
{
    if (deadline == kNoDeadline)
        condition.wait(lock);
    else
        condition.wait_until(lock,
                             std::chrono::steady_clock::time_point(
                                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(deadline)));
}

ClockTime ManualWaveClock::now() const
{
    return ClockTime(now_.load());
}

bool ManualWaveClock::due(ClockTime seen, ClockTime) const
{
    return now() > seen;
}

void ManualWaveClock::block(std::unique_lock<std::mutex>& lock, std::condition_variable& condition, ClockTime)
{
    condition.wait(lock);
}

void ManualWaveClock::attach(WaveClockListener* listener)
{
    std::lock_guard guard(lock_);
    attached_.push_back({listener, ClockTime::min()});
}

void ManualWaveClock::detach(WaveClockListener* listener)
{
    {
        std::lock_guard guard(lock_);
        std::erase_if(attached_, [listener](const Attached& a) { return a.listener == listener; });
    }
    settledCondition_.notify_all();
}

void ManualWaveClock::settled(WaveClockListener* listener, ClockTime seen)
{
    {
        std::lock_guard guard(lock_);
        for (auto& a : attached_)
            if (a.listener == listener)
                a.settledAt = std::max(a.settledAt, seen);
    }
    settledCondition_.notify_all();
}

bool ManualWaveClock::allSettled() const
{
    return std::all_of(attached_.begin(), attached_.end(), [this](const Attached& a) { return a.settledAt >= now(); });
}

void ManualWaveClock::advance(ClockTime step)
{
    std::unique_lock guard(lock_);
    now_ += step.count();
    // Waking under the clock's lock keeps a device from detaching (and going away) meanwhile;
    // devices never take the clock's lock while holding their own.
    for (const auto& a : attached_)
        a.listener->clockAdvanced();
    settledCondition_.wait(guard, [this] { return allSettled(); });
}

} // namespace qex::platform::wave
