#include "platform/main_dispatcher.h"

#include "allocation_counter.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace qex::platform;

namespace {

class MainDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override { installMainThreadDispatcher(&dispatcher); }
    void TearDown() override { installMainThreadDispatcher(nullptr); }

    MainThreadDispatcher dispatcher;
    std::vector<std::string> ran;
};

} // namespace

TEST_F(MainDispatcherTest, ARequestRaisedOnAnotherThreadAllocatesNothingAndRunsOnceOnTheMainThread)
{
    std::thread::id runThread;
    MainThreadRequest request([&] {
        ran.push_back("request");
        runThread = std::this_thread::get_id();
    });
    const std::uint64_t before = alloccount::counted();
    std::thread audio([&] {
        alloccount::countThisThread(true);
        request.raise();
        request.raise();
        alloccount::countThisThread(false);
    });
    audio.join();
    EXPECT_EQ(alloccount::counted(), before) << "raising allocates nothing";
    EXPECT_TRUE(ran.empty()) << "nothing runs until the main thread pumps";

    EXPECT_EQ(dispatcher.pump(), 1);
    EXPECT_EQ(ran, std::vector<std::string>{"request"}) << "raised twice before it ran, it runs once";
    EXPECT_EQ(runThread, std::this_thread::get_id());

    request.raise();
    EXPECT_EQ(dispatcher.pump(), 1) << "once it has run it can be raised again";

    // What the counter would have seen from a posted task.
    std::thread poster([&] {
        alloccount::countThisThread(true);
        dispatcher.post([&, text = std::string(64, 'x')] { ran.push_back(text); });
        alloccount::countThisThread(false);
    });
    poster.join();
    EXPECT_GT(alloccount::counted(), before) << "a posted task is allocated";
    dispatcher.pump();
}

TEST_F(MainDispatcherTest, TasksAndRequestsRunInTheOrderTheyCame)
{
    MainThreadRequest first([&] { ran.push_back("first request"); });
    MainThreadRequest second([&] { ran.push_back("second request"); });
    dispatcher.post([&] { ran.push_back("task 1"); });
    second.raise();
    dispatcher.post([&] { ran.push_back("task 2"); });
    first.raise();
    second.raise();
    dispatcher.post([&] { ran.push_back("task 3"); });
    EXPECT_EQ(dispatcher.pump(), 5);
    EXPECT_EQ(ran, (std::vector<std::string>{"task 1", "second request", "task 2", "first request", "task 3"}));
}

TEST_F(MainDispatcherTest, ARequestDestroyedWhileItWaitsNeverRuns)
{
    MainThreadRequest kept([&] { ran.push_back("kept"); });
    std::optional<MainThreadRequest> dropped(std::in_place, [&] { ran.push_back("dropped"); });
    dropped->raise();
    kept.raise();
    dropped.reset();
    EXPECT_EQ(dispatcher.pump(), 1);
    EXPECT_EQ(ran, std::vector<std::string>{"kept"});
}

TEST_F(MainDispatcherTest, ARequestWakesAMainThreadThatWaits)
{
    MainThreadRequest request([&] { ran.push_back("request"); });
    std::thread audio([&] { request.raise(); });
    while (dispatcher.waitAndPump(1000) == 0) {}
    audio.join();
    EXPECT_EQ(ran, std::vector<std::string>{"request"});
}

TEST(MainThreadRequest, WithoutADispatcherARequestGoesNowhere)
{
    installMainThreadDispatcher(nullptr);
    MainThreadRequest request([] {});
    EXPECT_FALSE(request.raise());
}

TEST(MainThreadRequest, ARequestOutlivesTheDispatcherItWaitedOn)
{
    int runs = 0;
    MainThreadRequest request([&] { ++runs; });
    {
        MainThreadDispatcher gone;
        installMainThreadDispatcher(&gone);
        request.raise();
    }
    MainThreadDispatcher next;
    installMainThreadDispatcher(&next);
    EXPECT_TRUE(request.raise());
    EXPECT_EQ(next.pump(), 1);
    EXPECT_EQ(runs, 1);
    installMainThreadDispatcher(nullptr);
}
