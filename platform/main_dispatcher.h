#pragma once
// Reaching the main (user-interface) thread from device threads.
//
// Device threads post small tasks (an error report) or raise requests built beforehand (a
// deferred stop); the main thread runs them in the order they came. Neither touches the
// user-interface toolkit: they wait in a locked queue and an eventfd tells the main loop that
// there is work. The program's event loop watches that descriptor (see main_dispatcher_qt.h);
// tests pump the queue themselves.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace qex::platform {

class MainThreadDispatcher;

// Something the main thread does when an audio thread asks for it. It is built beforehand, so
// that raising it allocates nothing: raising only links it into the dispatcher's queue. Raised
// again before it has run, it runs once. Destroyed (on the main thread) while it waits, it is
// taken out of the queue and never runs.
class MainThreadRequest {
public:
    explicit MainThreadRequest(std::function<void()> action);
    ~MainThreadRequest();
    MainThreadRequest(const MainThreadRequest&) = delete;
    MainThreadRequest& operator=(const MainThreadRequest&) = delete;

    // Queues the request on the installed dispatcher; false when none is installed. Any thread.
    bool raise();

private:
    friend class MainThreadDispatcher;

    std::function<void()> action_;
    // The dispatcher whose queue holds the request, or none; the links are under its lock.
    std::atomic<MainThreadDispatcher*> queuedOn_{nullptr};
    MainThreadRequest* next_ = nullptr;
    std::uint64_t sequence_ = 0;
};

class MainThreadDispatcher {
public:
    MainThreadDispatcher();
    ~MainThreadDispatcher();
    MainThreadDispatcher(const MainThreadDispatcher&) = delete;
    MainThreadDispatcher& operator=(const MainThreadDispatcher&) = delete;

    // Queues a task for the main thread. Safe from any thread.
    void post(std::function<void()> task);
    // Queues a request unless it already waits. Safe from any thread; never allocates.
    void raise(MainThreadRequest& request);

    // Runs every queued task on the calling thread (which must be the main thread); returns
    // how many ran. Tasks posted while pumping run in the same call.
    int pump();

    // Waits up to the timeout for a task and pumps; returns how many ran.
    int waitAndPump(int timeoutMs);

    // Readable while tasks are waiting.
    int wakeDescriptor() const { return wakeFd_; }

    bool onMainThread() const { return std::this_thread::get_id() == mainThread_; }
    // The thread that created the dispatcher is the main thread unless told otherwise.
    void adoptCurrentThread() { mainThread_ = std::this_thread::get_id(); }

private:
    friend class MainThreadRequest;

    struct Task {
        std::uint64_t sequence;
        std::function<void()> run;
    };

    // The next task or request in the order they came, taken out of its queue; lock_ held.
    std::function<void()> takeNext();
    // Takes a waiting request out of the queue.
    void withdraw(MainThreadRequest& request);
    bool idle() const { return tasks_.empty() && !firstRequest_; }
    void wake();

    std::mutex lock_;
    std::condition_variable posted_;
    std::deque<Task> tasks_;
    MainThreadRequest* firstRequest_ = nullptr;
    MainThreadRequest* lastRequest_ = nullptr;
    std::uint64_t nextSequence_ = 0;
    std::thread::id mainThread_;
    int wakeFd_ = -1;
};

// The process's dispatcher, installed by the program at start (or by a test).
void installMainThreadDispatcher(MainThreadDispatcher* dispatcher);
MainThreadDispatcher* mainThreadDispatcher();

} // namespace qex::platform
