// The guard around calls into a module: a fault inside a guarded call is that call's failure, on
// whichever thread made it; anywhere else a fault ends the program as it always has.

#include "platform/fault_guard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using qex::platform::guarded;

TEST(FaultGuard, AFaultInsideAGuardedCallIsThatCallsFailureOnAnyThread)
{
    int after = 0;
    EXPECT_EQ(guarded([] { std::raise(SIGSEGV); }), SIGSEGV);
    EXPECT_EQ(guarded([&] { after = 1; }), 0);
    EXPECT_EQ(after, 1);

    int onAnotherThread = 0;
    std::thread([&] { onAnotherThread = guarded([] { std::raise(SIGFPE); }); }).join();
    EXPECT_EQ(onAnotherThread, SIGFPE);

    // A guarded call inside another: the inner one's fault is the inner one's.
    int inner = 0;
    EXPECT_EQ(guarded([&] {
                  inner = guarded([] { std::raise(SIGBUS); });
                  std::raise(SIGILL);
              }),
              SIGILL);
    EXPECT_EQ(inner, SIGBUS);
    EXPECT_STREQ(qex::platform::faultName(SIGSEGV), "segmentation fault");
}

TEST(FaultGuard, AFaultOutsideAGuardedCallStillEndsTheProgram)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        guarded([] {});
        std::raise(SIGSEGV);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the program went on after the fault";
}

} // namespace
