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

// The nice value a thread of this priority runs with: 19, 10, 5 and 0 from Idle to Normal; the
// real-time priorities keep 0.
int niceValueOf(TThreadPriority priority);

// The real-time scheduling a priority asks for: Higher and Highest SCHED_RR, TimeCritical
// SCHED_FIFO, each with a real-time priority (1..99); the others none (policy SCHED_OTHER).
struct RealtimeScheduling {
    int policy;
    int priority;
};
RealtimeScheduling realtimeSchedulingOf(TThreadPriority priority);

// Priority from a stored index 0..6; anything else gives tpNormal.
TThreadPriority threadPriorityFromIndex(int index);

// Identifies a running thread for priority changes made from another thread.
struct ThreadId {
    pid_t tid = 0;
    unsigned long handle = 0; // pthread_t
};

ThreadId currentThreadId();

// Applies the priority to the thread at once. The real-time priorities are asked for within the
// process's RLIMIT_RTPRIO (a lower limit lowers the request); where the system refuses them the
// thread runs at normal priority and the refusal handler, if any, is told. The others leave
// real-time scheduling and set the nice value.
void applyThreadPriority(const ThreadId& thread, TThreadPriority priority);

// Told, on the thread whose request was refused, which thread wanted which real-time priority;
// the program may ask elsewhere (RealtimeKit) and tell the operator. It runs on audio threads
// and must neither allocate nor block. None (nullptr) by default.
using RealtimeRefusedHandler = void (*)(const ThreadId& thread, int realtimePriority);
void setRealtimeRefusedHandler(RealtimeRefusedHandler handler);

} // namespace qex::platform
