#include "dsp_thread.h"

#include "platform/main_dispatcher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

class Worker : public TMMDSPThread {
public:
    explicit Worker(std::function<void()> body) : TMMDSPThread(nullptr), body_(std::move(body)) {}

protected:
    void Execute() override { body_(); }

private:
    std::function<void()> body_;
};

} // namespace

TEST(DSPThread, CallbacksFromAnEngineThreadRunOnTheMainThreadWhileItWaits)
{
    qex::platform::MainThreadDispatcher dispatcher;
    qex::platform::installMainThreadDispatcher(&dispatcher);
    const auto mainId = std::this_thread::get_id();

    std::thread::id ranOn;
    std::atomic<bool> returned{false};
    bool workerWasDSPThread = false;
    Worker worker([&] {
        workerWasDSPThread = isDSPThread();
        synchronizeWithMainThread([&] { ranOn = std::this_thread::get_id(); });
        returned = true;
    });
    EXPECT_EQ(dspThreadCount(), 1);
    ASSERT_TRUE(worker.Start());
    while (!returned)
        dispatcher.waitAndPump(10);
    worker.WaitFor();

    EXPECT_TRUE(workerWasDSPThread);
    EXPECT_EQ(ranOn, mainId);
    EXPECT_FALSE(isDSPThread());

    // From any other thread the callback simply runs where it is called.
    std::thread::id direct;
    std::thread other([&] { synchronizeWithMainThread([&] { direct = std::this_thread::get_id(); }); });
    const auto otherId = other.get_id();
    other.join();
    EXPECT_EQ(direct, otherId);
    qex::platform::installMainThreadDispatcher(nullptr);
}

TEST(DSPThread, AThreadStartsAtItsPriorityAndLeavesTheRegistryWhenDestroyed)
{
    int nice = -100;
    {
        Worker worker([&] { nice = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid))); });
        worker.SetPriority(TThreadPriority::tpIdle);
        ASSERT_TRUE(worker.Start());
        worker.WaitFor();
    }
    EXPECT_EQ(nice, 19);
    EXPECT_EQ(dspThreadCount(), 0);
}
