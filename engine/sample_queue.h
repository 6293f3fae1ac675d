#pragma once
// A single-producer, single-consumer queue of sample bytes that never locks and never
// allocates after construction: the audio thread puts whole buffers in, another thread takes
// them out at its own pace. A buffer that does not fit is refused whole, so the consumer
// always sees whole frames.
//
// One thread at a time may produce and one at a time may consume; a thread that takes over
// either role must be ordered after the previous one by other means (a lock, a join).

#include <atomic>
#include <cstddef>
#include <memory>

class TMMSampleQueue {
public:
    explicit TMMSampleQueue(std::size_t capacityBytes);

    // Producer: copies all the bytes in, or none when they do not fit.
    bool TryPush(const char* bytes, std::size_t count);
    // Consumer: copies out up to max bytes; returns how many.
    std::size_t Pop(char* into, std::size_t max);
    // Consumer: drops everything queued.
    void Clear();

    std::size_t Capacity() const { return capacity_; }

private:
    const std::size_t capacity_;
    std::unique_ptr<char[]> data_;
    // Counted in bytes since construction; the difference is what is queued.
    alignas(64) std::atomic<std::size_t> written_{0};
    alignas(64) std::atomic<std::size_t> read_{0};
};
