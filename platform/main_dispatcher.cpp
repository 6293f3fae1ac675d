#include "main_dispatcher.h"

#include <atomic>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

namespace qex::platform {

namespace {
std::atomic<MainThreadDispatcher*> installed{nullptr};
}

MainThreadDispatcher::MainThreadDispatcher()
    : mainThread_(std::this_thread::get_id()), wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

MainThreadDispatcher::~MainThreadDispatcher()
{
    if (installed.load() == this)
        installed.store(nullptr);
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void MainThreadDispatcher::post(std::function<void()> task)
{
    {
        std::lock_guard guard(lock_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

int MainThreadDispatcher::pump()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
    int ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard guard(lock_);
            if (tasks_.empty())
                return ran;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
        ++ran;
    }
}

int MainThreadDispatcher::waitAndPump(int timeoutMs)
{
    {
        std::unique_lock guard(lock_);
        posted_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return !tasks_.empty(); });
    }
    return pump();
}

void installMainThreadDispatcher(MainThreadDispatcher* dispatcher)
{
    installed.store(dispatcher);
}

MainThreadDispatcher* mainThreadDispatcher()
{
    return installed.load();
}

} // namespace qex::platform
