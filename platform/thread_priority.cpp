#include "thread_priority.h"

#include <atomic>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qex::platform {

namespace {

std::atomic<RealtimeRefusedHandler> refusedHandler{nullptr};

// SCHED_RR or SCHED_FIFO at the priority, lowered to a smaller RLIMIT_RTPRIO.
bool setRealtime(pthread_t handle, const RealtimeScheduling& wanted)
{
    sched_param param{};
    param.sched_priority = wanted.priority;
    if (::pthread_setschedparam(handle, wanted.policy, &param) == 0)
        return true;
    rlimit limit{};
    if (::getrlimit(RLIMIT_RTPRIO, &limit) != 0 || limit.rlim_cur == 0 ||
        limit.rlim_cur >= static_cast<rlim_t>(wanted.priority))
        return false;
    param.sched_priority = static_cast<int>(limit.rlim_cur);
    return ::pthread_setschedparam(handle, wanted.policy, &param) == 0;
}

void tellRefused(const ThreadId& thread, int realtimePriority)
{
    if (const RealtimeRefusedHandler handler = refusedHandler.load())
        handler(thread, realtimePriority);
}

} // namespace

int osPriorityOf(TThreadPriority priority)
{
    static constexpr int table[kThreadPriorityCount] = {-15, -2, -1, 0, 1, 2, 15};
    return table[static_cast<int>(priority)];
}

int niceValueOf(TThreadPriority priority)
{
    static constexpr int table[kThreadPriorityCount] = {19, 10, 5, 0, 0, 0, 0};
    return table[static_cast<int>(priority)];
}

RealtimeScheduling realtimeSchedulingOf(TThreadPriority priority)
{
    switch (priority) {
    case TThreadPriority::tpHigher: return {SCHED_RR, 10};
    case TThreadPriority::tpHighest: return {SCHED_RR, 15};
    case TThreadPriority::tpTimeCritical: return {SCHED_FIFO, 20};
    default: return {SCHED_OTHER, 0};
    }
}

TThreadPriority threadPriorityFromIndex(int index)
{
    if (index < 0 || index >= kThreadPriorityCount)
        return TThreadPriority::tpNormal;
    return static_cast<TThreadPriority>(index);
}

ThreadId currentThreadId()
{
    return ThreadId{static_cast<pid_t>(::syscall(SYS_gettid)), static_cast<unsigned long>(::pthread_self())};
}

void applyThreadPriority(const ThreadId& thread, TThreadPriority priority)
{
    const auto handle = static_cast<pthread_t>(thread.handle);
    const RealtimeScheduling realtime = realtimeSchedulingOf(priority);
    if (realtime.policy != SCHED_OTHER) {
        if (setRealtime(handle, realtime))
            return;
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread.tid), 0);
        tellRefused(thread, realtime.priority);
        return;
    }
    // Leave real-time scheduling if an earlier setting asked for it.
    int policy = SCHED_OTHER;
    sched_param current{};
    if (::pthread_getschedparam(handle, &policy, &current) == 0 && policy != SCHED_OTHER) {
        sched_param normal{};
        ::pthread_setschedparam(handle, SCHED_OTHER, &normal);
    }
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread.tid), niceValueOf(priority));
}

void setRealtimeRefusedHandler(RealtimeRefusedHandler handler)
{
    refusedHandler.store(handler);
}

} // namespace qex::platform
