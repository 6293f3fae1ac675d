#pragma once
// Reaching the main (user-interface) thread from device threads.
//
// Device threads post small tasks (a deferred stop, an error report); the main thread runs them
// in the order they were posted. Posting never touches the user-interface toolkit: tasks wait in
// a locked queue and an eventfd tells the main loop that there is work. The program's event loop
// watches that descriptor (see main_dispatcher_qt.h); tests pump the queue themselves.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace qex::platform {

class MainThreadDispatcher {
public:
    MainThreadDispatcher();
    ~MainThreadDispatcher();
    MainThreadDispatcher(const MainThreadDispatcher&) = delete;
    MainThreadDispatcher& operator=(const MainThreadDispatcher&) = delete;

    // Queues a task for the main thread. Safe from any thread.
    void post(std::function<void()> task);

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
    std::mutex lock_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
    std::thread::id mainThread_;
    int wakeFd_ = -1;
};

// The process's dispatcher, installed by the program at start (or by a test).
void installMainThreadDispatcher(MainThreadDispatcher* dispatcher);
MainThreadDispatcher* mainThreadDispatcher();

} // namespace qex::platform
