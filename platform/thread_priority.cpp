#include "thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qex::platform {

int osPriorityOf(TThreadPriority priority)
{
    static constexpr int table[kThreadPriorityCount] = {-15, -2, -1, 0, 1, 2, 15};
    return table[static_cast<int>(priority)];
}

int niceValueOf(TThreadPriority priority)
{
    static constexpr int table[kThreadPriorityCount] = {19, 10, 5, 0, -5, -10, -15};
    return table[static_cast<int>(priority)];
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
    if (priority == TThreadPriority::tpTimeCritical) {
        sched_param param{};
        param.sched_priority = ::sched_get_priority_min(SCHED_FIFO) + 10;
        if (::pthread_setschedparam(handle, SCHED_FIFO, &param) == 0)
            return;
    } else {
        // Leave real-time scheduling if an earlier setting asked for it.
        int policy = SCHED_OTHER;
        sched_param current{};
        if (::pthread_getschedparam(handle, &policy, &current) == 0 && policy != SCHED_OTHER) {
            sched_param normal{};
            ::pthread_setschedparam(handle, SCHED_OTHER, &normal);
        }
    }
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(thread.tid), niceValueOf(priority)) != 0 &&
        niceValueOf(priority) < 0) {
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread.tid), 0);
    }
}

} // namespace qex::platform
