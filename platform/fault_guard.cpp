#include "fault_guard.h"

#include <array>
#include <csetjmp>
#include <csignal>
#include <mutex>

namespace qex::platform {

namespace {

constexpr std::array<int, 4> kFaults = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
// Room for the handler when the fault is a stack overflow inside the module.
constexpr std::size_t kFaultStackBytes = 64 * 1024;

std::array<struct sigaction, kFaults.size()> previousActions;

// Static thread storage of the executable: safe to touch inside a signal handler.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* armedJump = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local bool faultStackChecked = false;
alignas(16) __attribute__((tls_model("initial-exec"))) thread_local char faultStack[kFaultStackBytes];

std::size_t indexOf(int signal)
{
    for (std::size_t i = 0; i < kFaults.size(); ++i)
        if (kFaults[i] == signal)
            return i;
    return 0;
}

void onFault(int signal, siginfo_t* info, void* context)
{
    if (sigjmp_buf* jump = armedJump) {
        armedJump = nullptr;
        siglongjmp(*jump, signal);
    }
    // Not inside a guarded call: whoever handled the fault before us does, as if we were not here.
    const struct sigaction& previous = previousActions[indexOf(signal)];
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
    } else {
        // The default action ends the program with a core dump once the handler returns.
        ::sigaction(signal, &previous, nullptr);
        ::raise(signal);
    }
}

void installHandlers()
{
    struct sigaction action {};
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kFaults.size(); ++i)
        ::sigaction(kFaults[i], &action, &previousActions[i]);
}

// A thread that has no alternate signal stack yet gets one, so that even a module that runs
// its stack over can be caught.
void ensureFaultStack()
{
    if (faultStackChecked)
        return;
    faultStackChecked = true;
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE))
        return;
    stack_t stack{};
    stack.ss_sp = faultStack;
    stack.ss_size = sizeof faultStack;
    ::sigaltstack(&stack, nullptr);
}

} // namespace

int guardedCall(void (*call)(void*), void* context)
{
    static std::once_flag installed;
    std::call_once(installed, installHandlers);
    ensureFaultStack();

    sigjmp_buf jump;
    sigjmp_buf* const outer = armedJump;
    if (const int signal = sigsetjmp(jump, 1)) {
        armedJump = outer;
        return signal;
    }
    armedJump = &jump;
    call(context);
    armedJump = outer;
    return 0;
}

const char* faultName(int signal)
{
    switch (signal) {
    case SIGSEGV: return "segmentation fault";
    case SIGBUS: return "bus error";
    case SIGFPE: return "arithmetic fault";
    case SIGILL: return "illegal instruction";
    default: return "fault";
    }
}

} // namespace qex::platform
