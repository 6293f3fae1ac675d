#pragma once
// Block pool of a buffer-owning component: blocks are handed out zero-filled the first time,
// returned to the pool when released and reused for requests of exactly the same size, so that
// a running chain never allocates.

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

class TMMAllocator {
public:
    TMMAllocator() = default;
    TMMAllocator(const TMMAllocator&) = delete;
    TMMAllocator& operator=(const TMMAllocator&) = delete;

    // The first free block of exactly size bytes, or a new zero-filled one.
    void* GetBlock(std::size_t size);
    // Marks the block free and clears the caller's pointer; the memory stays in the pool.
    void FreeBlock(void*& block);
    // Frees every block.
    void Empty();

    std::size_t BlockCount() const;

private:
    struct Block {
        std::unique_ptr<std::byte[]> memory;
        std::size_t size;
        int useCount;
    };
    mutable std::mutex lock_;
    std::vector<Block> blocks_;
};
