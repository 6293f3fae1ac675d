#pragma once
// Hands finished images from the thread that draws them to the thread that shows them without
// either waiting for the other.
//
// Three images of one size: the drawing side owns one (the back image), the showing side owns
// one (the front image) and the third is the latest finished image waiting to be taken. Both
// sides swap their own image with the waiting one through one atomic word, so neither ever sees
// an image the other is still touching. Pixels are 32-bit 0xffRRGGBB, rows without padding.
//
// One thread draws at a time (the owner serialises that), and one thread shows: the thread that
// also changes the size, since resizing replaces all three images.

#include <atomic>
#include <cstdint>
#include <memory>

using TMMColor = std::uint32_t;

// An opaque colour from its red, green and blue parts.
constexpr TMMColor mmRgb(int red, int green, int blue)
{
    return 0xff000000u | (static_cast<std::uint32_t>(red & 0xff) << 16) |
        (static_cast<std::uint32_t>(green & 0xff) << 8) | static_cast<std::uint32_t>(blue & 0xff);
}

struct TMMImageView {
    const TMMColor* pixels = nullptr;
    int width = 0;
    int height = 0;
};

class TMMImageExchange {
public:
    // Replaces the three images with blank ones of this size. On the showing thread, while
    // nothing draws.
    void Resize(int width, int height);

    bool Empty() const { return width_ == 0 || height_ == 0; }

    // The image to draw into; published by Publish.
    TMMColor* Back() { return image(back_); }
    // Makes the back image the latest finished one and takes the waiting image to draw into next.
    void Publish();

    // On the showing thread: takes the latest finished image if one was published since the
    // last call. False when the front image is still the newest.
    bool Acquire();
    // The showing side's current image.
    TMMImageView Front() const { return {image(front_), width_, height_}; }

private:
    static constexpr std::uint8_t kFresh = 0x4; // the waiting image has not been taken yet
    static constexpr std::uint8_t kIndexMask = 0x3;

    TMMColor* image(int index) const { return pixels_.get() + static_cast<std::size_t>(index) * width_ * height_; }

    std::unique_ptr<TMMColor[]> pixels_;
    int width_ = 0;
    int height_ = 0;
    int back_ = 0;
    int front_ = 2;
    std::atomic<std::uint8_t> waiting_{1};
};
