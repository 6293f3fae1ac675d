#include "dsp_thread.h"

#include "platform/main_dispatcher.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <vector>

namespace {

struct ThreadRegistry {
    std::vector<TMMDSPThread*> threads;
};

std::mutex registryLock;
std::unique_ptr<ThreadRegistry> threadRegistry;

} // namespace

TMMThreadEx::TMMThreadEx() = default;

TMMThreadEx::~TMMThreadEx()
{
    Terminate();
    WaitFor();
}

bool TMMThreadEx::Start()
{
    if (thread_.joinable())
        return false;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void TMMThreadEx::Run()
{
    runId_.store(std::this_thread::get_id());
    {
        std::lock_guard guard(idLock_);
        osId_ = qex::platform::currentThreadId();
        osIdKnown_ = true;
        qex::platform::applyThreadPriority(osId_, priority_.load());
    }
    Execute();
    // The system may hand this identity to a later thread.
    std::lock_guard guard(idLock_);
    osIdKnown_ = false;
    runId_.store(std::thread::id());
}

void TMMThreadEx::WaitFor()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

void TMMThreadEx::SetPriority(TThreadPriority priority)
{
    std::lock_guard guard(idLock_);
    priority_.store(priority);
    if (osIdKnown_ && thread_.joinable())
        qex::platform::applyThreadPriority(osId_, priority);
}

TMMDSPThread::TMMDSPThread(TMMDSPComponent* owner) : owner_(owner)
{
    std::lock_guard guard(registryLock);
    if (!threadRegistry)
        threadRegistry = std::make_unique<ThreadRegistry>();
    threadRegistry->threads.push_back(this);
}

TMMDSPThread::~TMMDSPThread()
{
    Terminate();
    WaitFor();
    std::lock_guard guard(registryLock);
    auto& list = threadRegistry->threads;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (list.empty())
        threadRegistry.reset();
}

int dspThreadCount()
{
    std::lock_guard guard(registryLock);
    return threadRegistry ? static_cast<int>(threadRegistry->threads.size()) : 0;
}

bool isDSPThread()
{
    const auto self = std::this_thread::get_id();
    std::lock_guard guard(registryLock);
    if (!threadRegistry)
        return false;
    return std::any_of(threadRegistry->threads.begin(), threadRegistry->threads.end(),
                       [self](const TMMDSPThread* t) { return t->Id() == self; });
}

void synchronizeWithMainThread(const std::function<void()>& callback)
{
    auto* dispatcher = qex::platform::mainThreadDispatcher();
    if (!isDSPThread() || !dispatcher) {
        callback();
        return;
    }
    std::mutex doneLock;
    std::condition_variable doneSignal;
    bool done = false;
    dispatcher->post([&] {
        callback();
        // Notified under the lock: the waiting thread cannot see `done`, return and take the
        // condition variable off its stack while notify_all still uses it.
        std::lock_guard guard(doneLock);
        done = true;
        doneSignal.notify_all();
    });
    std::unique_lock guard(doneLock);
    doneSignal.wait(guard, [&] { return done; });
}
