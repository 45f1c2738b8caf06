#pragma once

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace corvane {

// Keeps a few freed blocks of memory for the next request of the same size.
// A container that frees a block at one end as it takes one at the other (a
// deque used as a queue: the log view's lines) then reuses the same blocks
// instead of asking the heap each time. Not thread-safe; it must outlive
// every allocator that refers to it.
class BlockRecycler {
public:
    static constexpr std::size_t Kept = 8;

    BlockRecycler() { spare_.reserve(Kept); }
    ~BlockRecycler() {
        for (const auto& spare : spare_) {
            ::operator delete(spare.second);
        }
    }
    BlockRecycler(const BlockRecycler&) = delete;
    BlockRecycler& operator=(const BlockRecycler&) = delete;

    void* take(std::size_t bytes) {
        for (std::size_t i = spare_.size(); i-- > 0;) {
            if (spare_[i].first == bytes) {
                void* block = spare_[i].second;
                spare_[i] = spare_.back();
                spare_.pop_back();
                return block;
            }
        }
        ++fromHeap_;
        return ::operator new(bytes);
    }

    void give(void* block, std::size_t bytes) {
        if (spare_.size() < Kept) {
            spare_.emplace_back(bytes, block);
        } else {
            // Unsized: clang offers the sized form only with -fsized-deallocation.
            ::operator delete(block);
        }
    }

    std::size_t spareBlocks() const { return spare_.size(); }
    // Blocks that had to come from the heap so far.
    std::size_t blocksFromHeap() const { return fromHeap_; }

private:
    std::vector<std::pair<std::size_t, void*>> spare_;
    std::size_t fromHeap_ = 0;
};

// A standard allocator drawing on a BlockRecycler.
template <typename T>
class RecyclingAllocator {
public:
    using value_type = T;

    explicit RecyclingAllocator(BlockRecycler& recycler) : recycler_(&recycler) {}
    template <typename U>
    RecyclingAllocator(const RecyclingAllocator<U>& other) : recycler_(other.recycler()) {}

    T* allocate(std::size_t n) { return static_cast<T*>(recycler_->take(n * sizeof(T))); }
    void deallocate(T* block, std::size_t n) { recycler_->give(block, n * sizeof(T)); }

    BlockRecycler* recycler() const { return recycler_; }

    template <typename U>
    bool operator==(const RecyclingAllocator<U>& other) const {
        return recycler_ == other.recycler();
    }

private:
    BlockRecycler* recycler_;
};

}  // namespace corvane
