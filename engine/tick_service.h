#pragma once
// The 25 ms tick service behind the level meters' peak hold.
//
// One ticker thread serves every client: it is created with the first client and removed with
// the last. A client asks for an interval, which is rounded up to whole ticks (at least one) and
// is called when its counted ticks reach it. A tick that would start while the previous one is
// still running is skipped instead of being queued, so a slow tick never bunches up calls.
//
// A service made with TMMTickSource::Manual has no thread: its owner calls Tick() itself, which
// lets tests drive the clock tick by tick.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TMMTickClient;
class TMMTickThread;

enum class TMMTickSource { Thread, Manual };

class TMMTickService {
public:
    static constexpr std::chrono::milliseconds kTickPeriod{25};

    explicit TMMTickService(TMMTickSource source = TMMTickSource::Thread);
    ~TMMTickService();
    TMMTickService(const TMMTickService&) = delete;
    TMMTickService& operator=(const TMMTickService&) = delete;

    // The process-wide service the meters use.
    static TMMTickService& Global();

    // One tick: every client that is not suspended counts it and is called when its interval
    // is reached. Runs on the ticker thread, or on the owner's thread with a manual source.
    void Tick();

    // Whether the ticker thread exists (never with a manual source).
    bool Ticking() const;

    // When the tick after the one due at `due` is due, seen at `now`: ticks already missed
    // are skipped.
    static std::chrono::steady_clock::time_point NextDue(std::chrono::steady_clock::time_point due,
                                                         std::chrono::steady_clock::time_point now);

private:
    friend class TMMTickClient;
    friend class TMMTickThread;

    void Add(TMMTickClient* client);
    void Remove(TMMTickClient* client);
    void StartTicker();
    void StopTicker();
    // The ticker thread's loop: waits for each due time until asked to stop.
    void RunTicker();

    const TMMTickSource source_;
    // Serialises adding and removing clients with the creation and removal of the thread.
    std::mutex lifecycleLock_;
    // Guards the client list and the clients' counters against a running tick.
    mutable std::mutex clientsLock_;
    std::vector<TMMTickClient*> clients_;

    std::mutex wakeLock_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    std::unique_ptr<TMMTickThread> ticker_;
};

// One client of a tick service, registered for its whole lifetime. Its callback runs on the
// ticker thread and must not add or remove clients.
class TMMTickClient {
public:
    TMMTickClient(TMMTickService& service, std::chrono::milliseconds interval, std::function<void()> onTick);
    ~TMMTickClient();
    TMMTickClient(const TMMTickClient&) = delete;
    TMMTickClient& operator=(const TMMTickClient&) = delete;

    void Suspend();
    void Resume();
    bool Suspended() const;

    // The interval in whole ticks.
    int IntervalTicks() const { return intervalTicks_; }

private:
    friend class TMMTickService;

    TMMTickService& service_;
    const int intervalTicks_;
    const std::function<void()> onTick_;
    // Both guarded by the service's client lock.
    int counted_ = 0;
    bool suspended_ = false;
};
