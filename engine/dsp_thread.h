#pragma once
// Worker threads of the engine. TMMThreadEx is created suspended and started explicitly; its
// priority can change while it runs. TMMDSPThread belongs to a streaming component and is
// listed in a process-wide registry, so that the dispatch routine can tell the engine's own
// threads from the others.

#include "platform/thread_priority.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class TMMDSPComponent;

using qex::platform::TThreadPriority;

class TMMThreadEx {
public:
    TMMThreadEx();
    virtual ~TMMThreadEx();
    TMMThreadEx(const TMMThreadEx&) = delete;
    TMMThreadEx& operator=(const TMMThreadEx&) = delete;

    // Begins running Execute on a new thread. False if the thread could not be created.
    bool Start();
    // Asks Execute to end; it checks Terminated().
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    // Waits for the thread to end.
    void WaitFor();
    bool Running() const { return thread_.joinable(); }

    void SetPriority(TThreadPriority priority);
    TThreadPriority Priority() const { return priority_.load(); }

    // The running thread's identity (default-constructed until it has started).
    std::thread::id Id() const { return runId_.load(); }

protected:
    virtual void Execute() = 0;

private:
    void Run();

    std::thread thread_;
    std::atomic<std::thread::id> runId_{};
    std::atomic<bool> terminated_{false};
    std::atomic<TThreadPriority> priority_{TThreadPriority::tpNormal};
    std::mutex idLock_;
    qex::platform::ThreadId osId_;
    bool osIdKnown_ = false;
};

class TMMDSPThread : public TMMThreadEx {
public:
    explicit TMMDSPThread(TMMDSPComponent* owner);
    ~TMMDSPThread() override;

    TMMDSPComponent* Owner() const { return owner_; }

private:
    TMMDSPComponent* owner_;
};

// Number of live DSP threads in the registry.
int dspThreadCount();

// Whether the calling thread is one of the registered DSP threads.
bool isDSPThread();

// Runs the callback on the main thread: from a registered DSP thread the call is marshalled
// to the main-thread dispatcher and the caller waits; from any other thread it runs directly.
void synchronizeWithMainThread(const std::function<void()>& callback);
