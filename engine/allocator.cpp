#include "allocator.h"

void* TMMAllocator::GetBlock(std::size_t size)
{
    std::lock_guard guard(lock_);
    for (auto& block : blocks_) {
        if (block.useCount == 0 && block.size == size) {
            block.useCount = 1;
            return block.memory.get();
        }
    }
    blocks_.push_back(Block{std::make_unique<std::byte[]>(size), size, 1});
    return blocks_.back().memory.get();
}

void TMMAllocator::FreeBlock(void*& block)
{
    if (!block)
        return;
    std::lock_guard guard(lock_);
    for (auto& b : blocks_) {
        if (b.memory.get() == block) {
            b.useCount = 0;
            break;
        }
    }
    block = nullptr;
}

void TMMAllocator::Empty()
{
    std::lock_guard guard(lock_);
    blocks_.clear();
}

std::size_t TMMAllocator::BlockCount() const
{
    std::lock_guard guard(lock_);
    return blocks_.size();
}
