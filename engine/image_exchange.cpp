#include "image_exchange.h"

void TMMImageExchange::Resize(int width, int height)
{
    if (width < 0 || height < 0)
        width = height = 0;
    const std::size_t count = static_cast<std::size_t>(width) * height * 3;
    pixels_ = count ? std::make_unique<TMMColor[]>(count) : nullptr;
    width_ = width;
    height_ = height;
    back_ = 0;
    front_ = 2;
    waiting_.store(1, std::memory_order_release);
}

void TMMImageExchange::Publish()
{
    // Release: the pixels drawn are visible to whoever takes the image.
    const std::uint8_t previous =
        waiting_.exchange(static_cast<std::uint8_t>(back_ | kFresh), std::memory_order_acq_rel);
    back_ = previous & kIndexMask;
}

bool TMMImageExchange::Acquire()
{
    if (!(waiting_.load(std::memory_order_acquire) & kFresh))
        return false;
    const std::uint8_t previous = waiting_.exchange(static_cast<std::uint8_t>(front_), std::memory_order_acq_rel);
    front_ = previous & kIndexMask;
    return true;
}
