#include "wave_device.h"

#include "platform/thread_priority.h"

#include <system_error>

namespace qex::platform::wave {

WaveDevice::WaveDevice(WaveDirection direction, const WaveFormatEx& format, WaveCallback callback, void* instance)
    : direction_(direction), format_(format), callback_(callback), instance_(instance)
{
}

WaveDevice::~WaveDevice()
{
    if (thread_.joinable()) {
        {
            std::lock_guard guard(lock_);
            closing_ = true;
            wake();
        }
        thread_.join();
    }
}

int WaveDevice::open()
{
    if (const int result = openBackend(); result != kWaveNoError)
        return result;
    try {
        thread_ = std::thread([this] { threadMain(); });
    } catch (const std::system_error&) {
        closeBackend();
        return kWaveErrNoMemory;
    }
    if (callback_)
        callback_(this, WaveMessage::Opened, instance_, nullptr);
    return kWaveNoError;
}

int WaveDevice::close()
{
    {
        std::lock_guard guard(lock_);
        if (head_)
            return kWaveErrStillPlaying;
        closing_ = true;
        wake();
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
    closeBackend();
    if (callback_)
        callback_(this, WaveMessage::Closed, instance_, nullptr);
    return kWaveNoError;
}

int WaveDevice::prepare(WaveHdr* header)
{
    if (!header || !header->Data)
        return kWaveErrInvalidParam;
    std::lock_guard guard(lock_);
    if (header->Flags & kHeaderInQueue)
        return kWaveErrStillPlaying;
    header->Flags |= kHeaderPrepared;
    return kWaveNoError;
}

int WaveDevice::unprepare(WaveHdr* header)
{
    if (!header)
        return kWaveErrInvalidParam;
    std::lock_guard guard(lock_);
    if (header->Flags & kHeaderInQueue)
        return kWaveErrStillPlaying;
    header->Flags &= ~kHeaderPrepared;
    return kWaveNoError;
}

int WaveDevice::addBuffer(WaveHdr* header)
{
    if (!header)
        return kWaveErrInvalidParam;
    std::lock_guard guard(lock_);
    if (failure_ != 0)
        return failure_;
    if (!(header->Flags & kHeaderPrepared))
        return kWaveErrUnprepared;
    if (header->Flags & kHeaderInQueue)
        return kWaveErrStillPlaying;
    header->Flags = (header->Flags | kHeaderInQueue) & ~kHeaderDone;
    header->Next = nullptr;
    if (isInput())
        header->BytesRecorded = 0;
    if (tail_)
        tail_->Next = header;
    else
        head_ = header;
    tail_ = header;
    queuedBuffers_.fetch_add(1, std::memory_order_relaxed);
    queued(header);
    wake();
    return kWaveNoError;
}

int WaveDevice::position(std::uint32_t& samples)
{
    std::lock_guard guard(lock_);
    samples = static_cast<std::uint32_t>(positionFrames());
    return kWaveNoError;
}

void WaveDevice::wake()
{
    condition_.notify_all();
    wakeBackend();
}

void WaveDevice::handBack(std::unique_lock<std::mutex>& lock)
{
    WaveHdr* header = head_;
    if (!header)
        return;
    head_ = header->Next;
    if (!head_)
        tail_ = nullptr;
    header->Next = nullptr;
    header->Flags = (header->Flags | kHeaderDone) & ~kHeaderInQueue;
    queuedBuffers_.fetch_sub(1, std::memory_order_relaxed);
    lock.unlock();
    if (callback_)
        callback_(this, WaveMessage::Done, instance_, header);
    lock.lock();
}

void WaveDevice::handBackAll(std::unique_lock<std::mutex>& lock)
{
    while (head_)
        handBack(lock);
}

void WaveDevice::fail(int code, std::unique_lock<std::mutex>& lock)
{
    failure_ = code;
    handBackAll(lock);
}

int WaveDevice::runCommand(Command command)
{
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Called from a notification routine: the device thread does it itself, right away.
        std::unique_lock lock(lock_);
        return execute(command, lock);
    }
    std::lock_guard one(commandLock_);
    std::unique_lock lock(lock_);
    if (closing_)
        return kWaveErrInvalidHandle;
    command_ = command;
    wake();
    commandDone_.wait(lock, [this] { return command_ == Command::None; });
    return commandResult_;
}

void WaveDevice::threadMain()
{
    // The device's own context, like a sound driver's: it must keep up whatever the program's
    // threads, and other programs, are doing. A nice value alone does not give that: it weighs
    // only against threads of the same session, and a build in another session delays a nice
    // thread by tens of milliseconds. Real-time scheduling where the system allows it, the
    // highest nice value otherwise.
    applyThreadPriority(currentThreadId(), TThreadPriority::tpTimeCritical);
    std::unique_lock lock(lock_);
    for (;;) {
        if (command_ != Command::None) {
            commandResult_ = execute(command_, lock);
            command_ = Command::None;
            commandDone_.notify_all();
            continue;
        }
        if (closing_)
            break;
        service(lock);
    }
}

} // namespace qex::platform::wave
