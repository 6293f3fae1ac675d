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

MainThreadRequest::MainThreadRequest(std::function<void()> action) : action_(std::move(action)) {}

MainThreadRequest::~MainThreadRequest()
{
    if (MainThreadDispatcher* dispatcher = queuedOn_.load())
        dispatcher->withdraw(*this);
}

bool MainThreadRequest::raise()
{
    MainThreadDispatcher* dispatcher = mainThreadDispatcher();
    if (!dispatcher)
        return false;
    dispatcher->raise(*this);
    return true;
}

MainThreadDispatcher::~MainThreadDispatcher()
{
    if (installed.load() == this)
        installed.store(nullptr);
    {
        // Requests still waiting outlive the queue; they may be raised again elsewhere.
        std::lock_guard guard(lock_);
        for (MainThreadRequest* request = firstRequest_; request; request = request->next_)
            request->queuedOn_.store(nullptr);
    }
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void MainThreadDispatcher::wake()
{
    posted_.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(wakeFd_, &one, sizeof one);
}

void MainThreadDispatcher::post(std::function<void()> task)
{
    {
        std::lock_guard guard(lock_);
        tasks_.push_back({nextSequence_++, std::move(task)});
    }
    wake();
}

void MainThreadDispatcher::raise(MainThreadRequest& request)
{
    {
        std::lock_guard guard(lock_);
        if (request.queuedOn_.load())
            return;
        request.queuedOn_.store(this);
        request.next_ = nullptr;
        request.sequence_ = nextSequence_++;
        if (lastRequest_)
            lastRequest_->next_ = &request;
        else
            firstRequest_ = &request;
        lastRequest_ = &request;
    }
    wake();
}

void MainThreadDispatcher::withdraw(MainThreadRequest& request)
{
    std::lock_guard guard(lock_);
    MainThreadRequest* previous = nullptr;
    for (MainThreadRequest* r = firstRequest_; r; previous = r, r = r->next_) {
        if (r != &request)
            continue;
        (previous ? previous->next_ : firstRequest_) = r->next_;
        if (lastRequest_ == r)
            lastRequest_ = previous;
        r->queuedOn_.store(nullptr);
        return;
    }
}

std::function<void()> MainThreadDispatcher::takeNext()
{
    if (firstRequest_ && (tasks_.empty() || firstRequest_->sequence_ < tasks_.front().sequence)) {
        MainThreadRequest* request = firstRequest_;
        firstRequest_ = request->next_;
        if (!firstRequest_)
            lastRequest_ = nullptr;
        request->queuedOn_.store(nullptr);
        // A copy: the action may end the life of the request's owner.
        return request->action_;
    }
    std::function<void()> task = std::move(tasks_.front().run);
    tasks_.pop_front();
    return task;
}

int MainThreadDispatcher::pump()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(wakeFd_, &count, sizeof count);
    int ran = 0;
    for (;;) {
        std::function<void()> next;
        {
            std::lock_guard guard(lock_);
            if (idle())
                return ran;
            next = takeNext();
        }
        next();
        ++ran;
    }
}

int MainThreadDispatcher::waitAndPump(int timeoutMs)
{
    {
        std::unique_lock guard(lock_);
        posted_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this] { return !idle(); });
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
