#include "sample_queue.h"

#include <algorithm>
#include <cstring>

TMMSampleQueue::TMMSampleQueue(std::size_t capacityBytes)
    : capacity_(capacityBytes), data_(std::make_unique<char[]>(capacityBytes))
{
}

bool TMMSampleQueue::TryPush(const char* bytes, std::size_t count)
{
    const std::size_t written = written_.load(std::memory_order_relaxed);
    const std::size_t read = read_.load(std::memory_order_acquire);
    if (count > capacity_ - (written - read))
        return false;
    const std::size_t at = written % capacity_;
    const std::size_t first = std::min(count, capacity_ - at);
    std::memcpy(data_.get() + at, bytes, first);
    std::memcpy(data_.get(), bytes + first, count - first);
    written_.store(written + count, std::memory_order_release);
    return true;
}

std::size_t TMMSampleQueue::Pop(char* into, std::size_t max)
{
    const std::size_t read = read_.load(std::memory_order_relaxed);
    const std::size_t count = std::min(max, written_.load(std::memory_order_acquire) - read);
    const std::size_t at = read % capacity_;
    const std::size_t first = std::min(count, capacity_ - at);
    std::memcpy(into, data_.get() + at, first);
    std::memcpy(into + first, data_.get(), count - first);
    read_.store(read + count, std::memory_order_release);
    return count;
}

void TMMSampleQueue::Clear()
{
    read_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
}
