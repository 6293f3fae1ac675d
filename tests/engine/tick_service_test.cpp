// The 25 ms tick service: client intervals, suspension, the ticker thread's lifetime and the
// skipping of overrun ticks.

#include "tick_service.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

using namespace std::chrono_literals;

TEST(TickService, ClientsAreCalledWhenTheirRoundedUpIntervalIsReached)
{
    TMMTickService service(TMMTickSource::Manual);
    int every = 0, second = 0, tiny = 0;
    TMMTickClient each(service, 25ms, [&] { ++every; });
    TMMTickClient fifty(service, 30ms, [&] { ++second; }); // rounds up to two ticks
    TMMTickClient short_(service, 1ms, [&] { ++tiny; });   // never faster than one tick
    EXPECT_EQ(fifty.IntervalTicks(), 2);
    EXPECT_EQ(short_.IntervalTicks(), 1);

    for (int i = 0; i < 6; ++i)
        service.Tick();
    EXPECT_EQ(every, 6);
    EXPECT_EQ(second, 3);
    EXPECT_EQ(tiny, 6);
    EXPECT_FALSE(service.Ticking()) << "a manual service never has a thread";
}

TEST(TickService, SuspendedClientsMissTicksUntilResumed)
{
    TMMTickService service(TMMTickSource::Manual);
    int calls = 0;
    TMMTickClient client(service, 25ms, [&] { ++calls; });
    client.Suspend();
    service.Tick();
    service.Tick();
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(client.Suspended());
    client.Resume();
    service.Tick();
    EXPECT_EQ(calls, 1);
}

TEST(TickService, TheThreadLivesFromTheFirstClientToTheLast)
{
    TMMTickService service;
    EXPECT_FALSE(service.Ticking());
    std::optional<TMMTickClient> first, second;
    first.emplace(service, 25ms, [] {});
    EXPECT_TRUE(service.Ticking());
    second.emplace(service, 25ms, [] {});
    first.reset();
    EXPECT_TRUE(service.Ticking());
    second.reset();
    EXPECT_FALSE(service.Ticking());

    // And comes back for a new first client, delivering ticks from its own thread.
    std::mutex lock;
    std::condition_variable ticked;
    int calls = 0;
    TMMTickClient client(service, 25ms, [&] {
        std::lock_guard guard(lock);
        ++calls;
        ticked.notify_all();
    });
    EXPECT_TRUE(service.Ticking());
    std::unique_lock guard(lock);
    // Generous bound: only guards against a ticker that never ticks.
    EXPECT_TRUE(ticked.wait_for(guard, 30s, [&] { return calls >= 2; }));
}

TEST(TickService, OverrunTicksAreSkippedNotQueued)
{
    const auto due = std::chrono::steady_clock::time_point{} + 1s;
    // On time: the next tick follows one period later.
    EXPECT_EQ(TMMTickService::NextDue(due, due + 3ms), due + 25ms);
    // A tick that ran 60 ms long skips the two ticks it overlapped and keeps the grid.
    EXPECT_EQ(TMMTickService::NextDue(due, due + 60ms), due + 75ms);
    // Exactly on a due time counts as missed, so no tick runs twice at once.
    EXPECT_EQ(TMMTickService::NextDue(due, due + 25ms), due + 50ms);
}
