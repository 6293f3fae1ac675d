#pragma once
// A value that one thread writes while another reads it. Every access is a relaxed atomic load
// or store of the whole word, so a reader never sees half of an update; no ordering between
// different values is promised or needed. The wrapper has the size and alignment of the plain
// value, so records built from it keep their byte layout.

#include <atomic>

namespace qex::dsp {

template <typename T>
class Shared {
    static_assert(std::atomic_ref<T>::is_always_lock_free, "shared values must be lock-free words");

public:
    constexpr Shared() = default;
    constexpr Shared(T value) : value_(value) {}

    T get() const noexcept { return std::atomic_ref<T>(const_cast<T&>(value_)).load(std::memory_order_relaxed); }
    void set(T value) noexcept { std::atomic_ref<T>(value_).store(value, std::memory_order_relaxed); }

    // Read-modify-write of flag words that two threads change different bits of.
    void setBits(T bits) noexcept { std::atomic_ref<T>(value_).fetch_or(bits, std::memory_order_relaxed); }
    void clearBits(T bits) noexcept
    {
        std::atomic_ref<T>(value_).fetch_and(static_cast<T>(~bits), std::memory_order_relaxed);
    }

    // Raises a running maximum; the panel's decay may be lost against it, which only affects a display.
    void raiseTo(T value) noexcept
    {
        if (value > get())
            set(value);
    }

private:
    alignas(std::atomic_ref<T>::required_alignment) T value_{};
};

} // namespace qex::dsp
