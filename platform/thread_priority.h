#pragma once
// Thread priorities of the engine's worker threads, mapped onto Linux scheduling.

#include <sys/types.h>

namespace qex::platform {

enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

constexpr int kThreadPriorityCount = 7;

// The settings panel's design choice, "Higher".
constexpr int kDesignPriorityIndex = 4;

// The priority as the original platform numbered it: -15, -2, -1, 0, 1, 2, 15.
int osPriorityOf(TThreadPriority priority);

// The nice value a thread of this priority asks for (19 for idle down to -15 for time-critical).
int niceValueOf(TThreadPriority priority);

// Priority from a stored index 0..6; anything else gives tpNormal.
TThreadPriority threadPriorityFromIndex(int index);

// Identifies a running thread for priority changes made from another thread.
struct ThreadId {
    pid_t tid = 0;
    unsigned long handle = 0; // pthread_t
};

ThreadId currentThreadId();

// Applies the priority to the thread at once. Raising a priority needs privileges that an
// ordinary desktop session may not have; a refused request leaves the thread at normal
// priority without error. tpTimeCritical asks for SCHED_FIFO first.
void applyThreadPriority(const ThreadId& thread, TThreadPriority priority);

} // namespace qex::platform
