#pragma once
// The ring buffer: decouples two clocks. In duplex mode (the program's) the input side pushes
// recorded buffers into fixed slots and the output side pulls from them; the output hears
// silence until more than half of the slots are filled, and silence again whenever the ring
// runs empty. A full ring drops the newest buffer; stored data is never overwritten.
//
// In qmRead mode a queue thread keeps the ring filled by pulling from Input; in qmWrite mode it
// flushes what was pushed on to Output. Neither is used by the program's chain.

#include "allocator.h"
#include "dsp_component.h"
#include "dsp_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

enum class TMMQueueMode { qmNone, qmRead, qmWrite, qmDuplex };

class TMMRingBuffer;

// Fills (qmRead) or flushes (qmWrite) the ring on its own thread whenever it is woken.
class TMMQueueThread : public TMMDSPThread {
public:
    explicit TMMQueueThread(TMMRingBuffer* owner);
    ~TMMQueueThread() override;

    bool Launch();
    // Starts a round of work unless one is running.
    void Wake();
    bool Busy() const;
    // Waits until the current round is done; false on timeout.
    bool WaitIdle(std::chrono::milliseconds timeout);
    void Finish();

protected:
    void Execute() override;

private:
    TMMRingBuffer* ring_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool running_ = false;
    bool work_ = false;
};

class TMMRingBuffer : public TMMDSPComponent {
public:
    TMMRingBuffer();
    ~TMMRingBuffer() override;

    // Slot size, at least 32 bytes; refused while allocated.
    void SetBufferSize(int size) override;
    // Slot count: values <= 1 and the current value are ignored; refused while allocated.
    void SetNumBuffers(int value);
    int GetNumBuffers() const { return numBuffers_; }
    void SetQueueMode(TMMQueueMode mode); // refused while allocated
    TMMQueueMode GetQueueMode() const { return queueMode_; }
    // False drops what is pushed; reads still answer.
    void SetEnabled(bool value) { enabled_ = value; }
    bool GetEnabled() const { return enabled_; }
    void SetWaitIfFull(bool value) { waitIfFull_ = value; }
    bool GetWaitIfFull() const { return waitIfFull_; }
    // An empty ring repeats the last slot read instead of answering with silence.
    void SetLoopIfEmpty(bool value) { loopIfEmpty_ = value; }
    bool GetLoopIfEmpty() const { return loopIfEmpty_; }
    // Milliseconds a first qmRead pull waits for the queue thread.
    void SetTimeOut(int ms) { timeOut_ = ms; }
    int GetTimeOut() const { return timeOut_; }

    TMMNotifyEvent OnOverlow, OnEmpty, OnFillQueue, OnFillQueueEnd, OnFlushQueue, OnFlushQueueEnd;

    // Buffers dropped because the ring was full, and reads answered with silence or a repeat
    // because it ran empty after priming, since the ring was created. Counted without a lock.
    std::uint64_t Overflows() const { return overflows_.load(std::memory_order_relaxed); }
    std::uint64_t Underruns() const { return underruns_.load(std::memory_order_relaxed); }

    bool Empty() const;
    bool Full() const;
    int FilledCount() const;
    // Read without the lock, so that a monitor on another thread never holds up the audio.
    std::int64_t BytesStored() const { return bytesStored_.load(std::memory_order_relaxed); }
    std::int64_t FreeBytes() const;

    void Open() override;
    void Close() override;
    void Start() override;
    void Stop() override;
    void Reset() override;

    void BufferReady(TMMWaveHdr* lpWaveHdr) override;
    void BufferLoad(TMMWaveHdr* lpWaveHdr, bool& moreBuffers) override;

private:
    friend class TMMQueueThread;

    static constexpr std::uint32_t kLastBlock = 0x1; // the source ended with this slot
    static constexpr std::uint32_t kLoopEnd = 0x2;   // the slot ends a loop pass

    struct Slot {
        char* data;
        std::uint32_t length; // bytes not yet read, from data on
        std::uint32_t user;   // the User word of the buffer that filled the slot
        std::uint32_t flags;
    };
    struct ReadResult {
        std::uint32_t bytes = 0;
        std::uint32_t flags = 0;
        std::uint32_t user = 0;
    };

    void Write(const char* data, std::uint32_t length, std::uint32_t user, std::uint32_t flags);
    ReadResult Read(char* destination, std::uint32_t wanted);
    // Reads from the slot at the read index; the ring must not be empty.
    ReadResult ReadSlot(char* destination, std::uint32_t wanted);
    char SilenceByte() const;
    void Discard();
    void Flush();
    void ResetCounters(); // lock_ held
    bool QueueThreadMode() const { return queueMode_ == TMMQueueMode::qmRead || queueMode_ == TMMQueueMode::qmWrite; }
    void FireEvent(const TMMNotifyEvent& event);

    // Queue thread work.
    void FillQueue();
    void FlushQueue();

    int numBuffers_ = 20;
    TMMQueueMode queueMode_ = TMMQueueMode::qmNone;
    std::atomic<bool> enabled_{true};
    std::atomic<bool> waitIfFull_{false};
    std::atomic<bool> loopIfEmpty_{false};
    int timeOut_ = 10000;

    TMMAllocator allocator_;
    std::vector<Slot> slots_;
    TMMWaveHdr* transfer_ = nullptr; // the queue thread's buffer
    std::uint32_t slotSize_ = 0;
    std::uint32_t blockSize_ = 0; // read and write block of the queue thread
    std::unique_ptr<TMMQueueThread> queueThread_;

    mutable std::mutex lock_;
    std::atomic<bool> allocated_{false};
    std::atomic<bool> aborting_{false};
    int filled_ = 0;
    std::atomic<std::int64_t> bytesStored_{0}; // written under lock_
    std::atomic<std::uint64_t> overflows_{0};
    std::atomic<std::uint64_t> underruns_{0};
    int writeIndex_ = 0;
    int readIndex_ = 0;
    int lastReadIndex_ = 0;
    bool primed_ = false;
};
