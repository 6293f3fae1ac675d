#include "tick_service.h"

#include "dsp_thread.h"

#include <algorithm>

// The ticker runs at time-critical priority so that peak markers fall on time even while the
// audio threads are busy.
class TMMTickThread : public TMMThreadEx {
public:
    explicit TMMTickThread(TMMTickService& service) : service_(service)
    {
        SetPriority(TThreadPriority::tpTimeCritical);
    }
    ~TMMTickThread() override { WaitFor(); }

protected:
    void Execute() override { service_.RunTicker(); }

private:
    TMMTickService& service_;
};

TMMTickService::TMMTickService(TMMTickSource source) : source_(source) {}

TMMTickService::~TMMTickService()
{
    std::lock_guard guard(lifecycleLock_);
    StopTicker();
}

TMMTickService& TMMTickService::Global()
{
    static TMMTickService service;
    return service;
}

bool TMMTickService::Ticking() const
{
    std::lock_guard guard(clientsLock_);
    return ticker_ != nullptr;
}

std::chrono::steady_clock::time_point TMMTickService::NextDue(std::chrono::steady_clock::time_point due,
                                                              std::chrono::steady_clock::time_point now)
{
    due += kTickPeriod;
    if (due <= now)
        due += kTickPeriod * ((now - due) / kTickPeriod + 1);
    return due;
}

void TMMTickService::Tick()
{
    std::lock_guard guard(clientsLock_);
    for (TMMTickClient* client : clients_) {
        if (client->suspended_)
            continue;
        if (++client->counted_ >= client->intervalTicks_) {
            client->counted_ = 0;
            client->onTick_();
        }
    }
}

void TMMTickService::Add(TMMTickClient* client)
{
    std::lock_guard life(lifecycleLock_);
    bool first = false;
    {
        std::lock_guard guard(clientsLock_);
        first = clients_.empty();
        clients_.push_back(client);
    }
    if (first && source_ == TMMTickSource::Thread)
        StartTicker();
}

void TMMTickService::Remove(TMMTickClient* client)
{
    std::lock_guard life(lifecycleLock_);
    bool last = false;
    {
        // Waits for a running tick, so the client is never called after it has left.
        std::lock_guard guard(clientsLock_);
        clients_.erase(std::remove(clients_.begin(), clients_.end(), client), clients_.end());
        last = clients_.empty();
    }
    if (last)
        StopTicker();
}

void TMMTickService::StartTicker()
{
    {
        std::lock_guard guard(wakeLock_);
        stopRequested_ = false;
    }
    auto thread = std::make_unique<TMMTickThread>(*this);
    if (!thread->Start())
        return; // no peak hold then, but metering goes on
    std::lock_guard guard(clientsLock_);
    ticker_ = std::move(thread);
}

void TMMTickService::StopTicker()
{
    std::unique_ptr<TMMTickThread> thread;
    {
        std::lock_guard guard(clientsLock_);
        thread = std::move(ticker_);
    }
    if (!thread)
        return;
    {
        std::lock_guard guard(wakeLock_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    thread->Terminate();
    thread->WaitFor();
}

void TMMTickService::RunTicker()
{
    auto due = std::chrono::steady_clock::now() + kTickPeriod;
    for (;;) {
        {
            std::unique_lock guard(wakeLock_);
            if (wake_.wait_until(guard, due, [this] { return stopRequested_; }))
                return;
        }
        Tick();
        due = NextDue(due, std::chrono::steady_clock::now());
    }
}

TMMTickClient::TMMTickClient(TMMTickService& service, std::chrono::milliseconds interval, std::function<void()> onTick)
    : service_(service),
      intervalTicks_(static_cast<int>(std::max<std::int64_t>(
          1, (interval.count() + TMMTickService::kTickPeriod.count() - 1) / TMMTickService::kTickPeriod.count()))),
      onTick_(std::move(onTick))
{
    service_.Add(this);
}

TMMTickClient::~TMMTickClient()
{
    service_.Remove(this);
}

void TMMTickClient::Suspend()
{
    std::lock_guard guard(service_.clientsLock_);
    suspended_ = true;
}

void TMMTickClient::Resume()
{
    std::lock_guard guard(service_.clientsLock_);
    suspended_ = false;
}

bool TMMTickClient::Suspended() const
{
    std::lock_guard guard(service_.clientsLock_);
    return suspended_;
}
