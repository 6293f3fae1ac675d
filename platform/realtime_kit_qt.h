#pragma once
// RealtimeKit (org.freedesktop.RealtimeKit1 on the system bus), which desktop sessions run to
// give audio threads real-time scheduling where the process may not take it itself.

#include <sys/types.h>

namespace qex::platform {

// Asks RealtimeKit to run the thread (of this process) with SCHED_RR at the priority, lowered
// to RealtimeKit's highest. False when there is no system bus, no RealtimeKit, or it refuses.
// Sets the process's RLIMIT_RTTIME to what RealtimeKit demands first.
bool makeThreadRealtimeWithRealtimeKit(pid_t thread, int priority);

} // namespace qex::platform
