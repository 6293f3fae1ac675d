#include "ring_buffer.h"

#include "errors.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint32_t kBlockLimit = 65536;

} // namespace

TMMQueueThread::TMMQueueThread(TMMRingBuffer* owner) : TMMDSPThread(owner), ring_(owner) {}

TMMQueueThread::~TMMQueueThread()
{
    Finish();
}

bool TMMQueueThread::Launch()
{
    SetPriority(TThreadPriority::tpHigher);
    if (!Start())
        return false;
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, std::chrono::milliseconds(5000), [this] { return running_; });
}

void TMMQueueThread::Wake()
{
    std::lock_guard guard(lock_);
    if (work_)
        return;
    work_ = true;
    changed_.notify_all();
}

bool TMMQueueThread::Busy() const
{
    std::lock_guard guard(lock_);
    return work_;
}

bool TMMQueueThread::WaitIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock guard(lock_);
    return changed_.wait_for(guard, timeout, [this] { return !work_ || !running_; });
}

void TMMQueueThread::Finish()
{
    Terminate();
    {
        std::lock_guard guard(lock_);
        changed_.notify_all();
    }
    WaitFor();
}

void TMMQueueThread::Execute()
{
    std::unique_lock guard(lock_);
    running_ = true;
    changed_.notify_all();
    for (;;) {
        changed_.wait(guard, [this] { return Terminated() || work_; });
        if (Terminated())
            break;
        guard.unlock();
        if (ring_->GetQueueMode() == TMMQueueMode::qmRead)
            ring_->FillQueue();
        else
            ring_->FlushQueue();
        guard.lock();
        work_ = false;
        changed_.notify_all();
    }
    running_ = false;
    changed_.notify_all();
}

TMMRingBuffer::TMMRingBuffer() = default;

TMMRingBuffer::~TMMRingBuffer()
{
    BeginDestroy();
    Close();
}

void TMMRingBuffer::SetBufferSize(int size)
{
    const int value = std::max(size, 32);
    if (value == ConfiguredBufferSize())
        return;
    if (allocated_)
        throw EMMBufferError(MMErrorText(kErrPropertyWhileOpen));
    allocator_.Empty();
    TMMDSPComponent::SetBufferSize(value);
}

void TMMRingBuffer::SetNumBuffers(int value)
{
    if (value <= 1 || value == numBuffers_)
        return;
    if (allocated_)
        throw EMMBufferError(MMErrorText(kErrPropertyWhileOpen));
    numBuffers_ = value;
}

void TMMRingBuffer::SetQueueMode(TMMQueueMode mode)
{
    if (mode == queueMode_)
        return;
    if (allocated_)
        throw EMMBufferError(MMErrorText(kErrPropertyWhileOpen));
    queueMode_ = mode;
}

bool TMMRingBuffer::Empty() const
{
    std::lock_guard guard(lock_);
    return filled_ == 0;
}

bool TMMRingBuffer::Full() const
{
    std::lock_guard guard(lock_);
    return filled_ == numBuffers_;
}

int TMMRingBuffer::FilledCount() const
{
    std::lock_guard guard(lock_);
    return filled_;
}

std::int64_t TMMRingBuffer::FreeBytes() const
{
    std::lock_guard guard(lock_);
    return static_cast<std::int64_t>(slotSize_) * (numBuffers_ - filled_);
}

void TMMRingBuffer::FireEvent(const TMMNotifyEvent& event)
{
    if (event)
        event(this);
}

char TMMRingBuffer::SilenceByte() const
{
    const TWaveFormatEx* format = WaveFormat();
    return static_cast<char>(format && format->BitsPerSample == 8 ? 128 : 0);
}

void TMMRingBuffer::ResetCounters()
{
    filled_ = 0;
    bytesStored_ = 0;
    writeIndex_ = readIndex_ = lastReadIndex_ = 0;
    primed_ = false;
    for (Slot& slot : slots_)
        slot.length = 0;
}

void TMMRingBuffer::Open()
{
    TMMDSPComponent::Open();
    if (allocated_)
        return;
    if (QueueThreadMode()) {
        queueThread_ = std::make_unique<TMMQueueThread>(this);
        if (!queueThread_->Launch()) {
            queueThread_.reset();
            throw EMMBufferError(deviceCallMessage("RingBuffer", MMErrorText(kErrCreateThread)));
        }
    }
    slotSize_ = static_cast<std::uint32_t>(GetBufferSize());
    blockSize_ = std::max(kBlockLimit / slotSize_ * slotSize_, slotSize_);
    slots_.assign(static_cast<std::size_t>(numBuffers_), Slot{});
    for (Slot& slot : slots_)
        slot.data = static_cast<char*>(allocator_.GetBlock(slotSize_));
    if (QueueThreadMode()) {
        const std::uint32_t capacity = std::max(slotSize_, kBlockLimit);
        void* block = allocator_.GetBlock(capacity + kWaveHdrSize);
        std::memset(block, 0, kWaveHdrSize);
        transfer_ = engineBufferHeader(block);
        transfer_->BufferLength = capacity;
    }
    {
        std::lock_guard guard(lock_);
        ResetCounters();
    }
    aborting_ = false;
    allocated_ = true;
}

void TMMRingBuffer::Close()
{
    if (allocated_) {
        aborting_ = true;
        Flush();
        allocated_ = false;
        if (queueThread_)
            queueThread_->Finish();
        queueThread_.reset();
        std::lock_guard guard(lock_);
        ResetCounters();
        for (Slot& slot : slots_) {
            void* block = slot.data;
            allocator_.FreeBlock(block);
        }
        slots_.clear();
        void* block = transfer_;
        allocator_.FreeBlock(block);
        transfer_ = nullptr;
    }
    TMMDSPComponent::Close();
}

void TMMRingBuffer::Start()
{
    aborting_ = false;
    TMMDSPComponent::Start();
}

// Everything stored is dropped, so the next start primes with silence again.
void TMMRingBuffer::Discard()
{
    aborting_ = true;
    Flush();
}

void TMMRingBuffer::Stop()
{
    Discard();
    TMMDSPComponent::Stop();
}

void TMMRingBuffer::Reset()
{
    Discard();
    aborting_ = false;
    TMMDSPComponent::Reset();
}

void TMMRingBuffer::Flush()
{
    if (queueThread_) {
        queueThread_->WaitIdle(std::chrono::milliseconds(5000));
        if (queueMode_ == TMMQueueMode::qmWrite) {
            queueThread_->Wake();
            queueThread_->WaitIdle(std::chrono::milliseconds(5000));
        }
    }
    std::lock_guard guard(lock_);
    ResetCounters();
}

void TMMRingBuffer::Write(const char* data, std::uint32_t length, std::uint32_t user, std::uint32_t flags)
{
    if (!allocated_ || !enabled_)
        return;
    const bool waits = waitIfFull_ && queueMode_ == TMMQueueMode::qmWrite;
    if (Full() && !waits) {
        // The newest buffer is the one lost; what is stored is never overwritten.
        overflows_.fetch_add(1, std::memory_order_relaxed);
        FireEvent(OnOverlow);
        return;
    }
    if (!data || length == 0)
        return;
    std::unique_lock guard(lock_);
    if (queueMode_ == TMMQueueMode::qmWrite) {
        if (filled_ + 1 >= numBuffers_ / 2 && queueThread_ && !queueThread_->Busy())
            queueThread_->Wake();
        if (waits) {
            guard.unlock();
            while (Full() && !aborting_) {
                queueThread_->Wake();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            guard.lock();
        }
    }
    if (!allocated_ || filled_ == numBuffers_)
        return;
    Slot& slot = slots_[static_cast<std::size_t>(writeIndex_)];
    slot.length = std::min(length, slotSize_);
    std::memcpy(slot.data, data, slot.length);
    slot.user = user;
    slot.flags = flags;
    writeIndex_ = (writeIndex_ + 1) % numBuffers_;
    ++filled_;
    bytesStored_ += slot.length;
}

TMMRingBuffer::ReadResult TMMRingBuffer::ReadSlot(char* destination, std::uint32_t wanted)
{
    // The writer never touches an unread slot, so the copy needs no lock.
    Slot& slot = slots_[static_cast<std::size_t>(readIndex_)];
    const std::uint32_t count = std::min(slot.length, wanted);
    std::memcpy(destination, slot.data, count);
    const ReadResult result{count, slot.flags, slot.user};
    std::lock_guard guard(lock_);
    if (count < slot.length) {
        slot.length -= count;
        std::memmove(slot.data, slot.data + count, slot.length);
    } else {
        lastReadIndex_ = readIndex_;
        readIndex_ = (readIndex_ + 1) % numBuffers_;
        --filled_;
    }
    bytesStored_ -= count;
    return result;
}

TMMRingBuffer::ReadResult TMMRingBuffer::Read(char* destination, std::uint32_t wanted)
{
    if (!allocated_ || !destination || wanted == 0)
        return {};
    if (queueMode_ == TMMQueueMode::qmDuplex) {
        std::unique_lock guard(lock_);
        if (!primed_) {
            // Silence until more than half of the slots hold data; the read that sees that is
            // still silence.
            primed_ = filled_ > numBuffers_ / 2;
            guard.unlock();
            std::memset(destination, SilenceByte(), wanted);
            return {wanted, 0, 0};
        }
    } else if (queueMode_ == TMMQueueMode::qmRead) {
        if (enabled_ && FilledCount() < numBuffers_ / 2 && !queueThread_->Busy())
            queueThread_->Wake();
        std::unique_lock guard(lock_);
        if (!primed_) {
            guard.unlock();
            queueThread_->WaitIdle(std::chrono::milliseconds(timeOut_));
            guard.lock();
            if (filled_ == 0)
                return {};
            primed_ = true;
        }
    }

    std::unique_lock guard(lock_);
    if (filled_ > 0) {
        guard.unlock();
        return ReadSlot(destination, wanted);
    }
    // Empty. Priming stays: after an underrun each new slot is read as soon as it arrives.
    guard.unlock();
    underruns_.fetch_add(1, std::memory_order_relaxed);
    FireEvent(OnEmpty);
    const TWaveFormatEx* format = WaveFormat();
    if (loopIfEmpty_ || (format && format->FormatTag != WAVE_FORMAT_PCM)) {
        guard.lock();
        const Slot& last = slots_[static_cast<std::size_t>(lastReadIndex_)];
        const std::uint32_t count = std::min(last.length, wanted);
        std::memcpy(destination, last.data, count);
        return {count, last.flags, last.user};
    }
    std::memset(destination, SilenceByte(), wanted);
    return {wanted, 0, 0};
}

void TMMRingBuffer::BufferReady(TMMWaveHdr* lpWaveHdr)
{
    if (queueMode_ != TMMQueueMode::qmWrite && queueMode_ != TMMQueueMode::qmDuplex) {
        TMMDSPComponent::BufferReady(lpWaveHdr);
        return;
    }
    Write(lpWaveHdr->Data, lpWaveHdr->BytesRecorded, lpWaveHdr->User, 0);
}

void TMMRingBuffer::BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers)
{
    if (queueMode_ != TMMQueueMode::qmRead && queueMode_ != TMMQueueMode::qmDuplex) {
        TMMDSPComponent::BufferLoad(lpWaveHdr, moreBuffers);
        return;
    }
    if (!allocated_)
        return;
    if (!(enabled_ || BytesStored() > 0 || queueMode_ == TMMQueueMode::qmDuplex))
        return;
    lpWaveHdr->BytesRecorded = lpWaveHdr->BufferLength;
    const ReadResult result = Read(lpWaveHdr->Data, lpWaveHdr->BufferLength);
    lpWaveHdr->BytesRecorded = result.bytes;
    lpWaveHdr->User = result.user;
    lpWaveHdr->EndMarker = (result.flags & kLoopEnd) ? -1 : 0;
    // In duplex the ring always answers (data, repeated data or silence), so it never ends.
    moreBuffers = queueMode_ == TMMQueueMode::qmDuplex || !(result.flags & kLastBlock);
}

void TMMRingBuffer::FillQueue()
{
    FireEvent(OnFillQueue);
    while (!aborting_ && allocated_) {
        const auto room = static_cast<std::uint32_t>(std::min<std::int64_t>(FreeBytes(), blockSize_));
        if (room == 0)
            break;
        transfer_->BufferLength = room;
        transfer_->BytesRecorded = 0;
        bool more = true;
        TMMDSPComponent::BufferLoad(transfer_, more);
        const std::uint32_t got = std::min(transfer_->BytesRecorded, room);
        for (std::uint32_t offset = 0; offset < got; offset += slotSize_) {
            const std::uint32_t piece = std::min(slotSize_, got - offset);
            const bool last = offset + piece == got && !more;
            Write(transfer_->Data + offset, piece, transfer_->User, last ? kLastBlock : 0);
        }
        if (!more || got == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FireEvent(OnFillQueueEnd);
}

void TMMRingBuffer::FlushQueue()
{
    FireEvent(OnFlushQueue);
    while (allocated_ && !Empty()) {
        std::uint32_t count = 0;
        while (count < blockSize_ && !Empty())
            count += ReadSlot(transfer_->Data + count, blockSize_ - count).bytes;
        transfer_->BytesRecorded = count;
        TMMDSPComponent::BufferReady(transfer_);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FireEvent(OnFlushQueueEnd);
}
