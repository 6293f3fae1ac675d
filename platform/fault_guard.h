#pragma once
// Calls into a loaded module so that a hardware fault raised inside it (a bad pointer, an
// integer division by zero, an illegal instruction) comes back as that call's failure instead
// of ending the program. The guard is armed only for the duration of a guarded call, on the
// thread that makes it; a fault anywhere else still ends the program as it always would (a core
// dump, or a sanitizer's report).
//
// A guarded call that faulted is abandoned where it stood: whatever it was doing is left half
// done, so the module must not be called again until it has been loaded afresh.

#include <utility>

namespace qex::platform {

// Runs call(context) under the guard; the signal of the fault it raised (SIGSEGV, SIGBUS,
// SIGFPE or SIGILL), or 0 when it returned. Allocates nothing and takes no lock, so an audio
// thread may use it.
int guardedCall(void (*call)(void*), void* context);

template <typename Call>
int guarded(Call&& call)
{
    return guardedCall([](void* context) { (*static_cast<std::remove_reference_t<Call>*>(context))(); },
                       const_cast<void*>(static_cast<const void*>(&call)));
}

// "segmentation fault", "bus error", "arithmetic fault", "illegal instruction".
const char* faultName(int signal);

} // namespace qex::platform
