#include "ui/BlockRecycler.h"

#include <gtest/gtest.h>

#include <deque>
#include <vector>

namespace corvane {
namespace {

TEST(BlockRecyclerTest, AFreedBlockServesTheNextRequestOfItsSizeOnly) {
    BlockRecycler recycler;
    void* block = recycler.take(512);
    recycler.give(block, 512);
    EXPECT_EQ(recycler.spareBlocks(), 1u);

    void* other = recycler.take(256);
    EXPECT_NE(other, block) << "a block of another size is never handed out";
    EXPECT_EQ(recycler.spareBlocks(), 1u);
    EXPECT_EQ(recycler.take(512), block);
    EXPECT_EQ(recycler.spareBlocks(), 0u);

    recycler.give(other, 256);
    recycler.give(block, 512);
}

TEST(BlockRecyclerTest, KeepsOnlyAFewBlocks) {
    BlockRecycler recycler;
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < BlockRecycler::Kept + 5; ++i) {
        blocks.push_back(recycler.take(64));
    }
    for (void* block : blocks) {
        recycler.give(block, 64);
    }
    EXPECT_EQ(recycler.spareBlocks(), BlockRecycler::Kept);
}

// A deque used as a queue, as the log view uses it: once it has its working
// size, it runs on the same few blocks however many elements pass through.
TEST(BlockRecyclerTest, AQueueTakesNoNewBlocksOnceItHasItsWorkingSize) {
    BlockRecycler recycler;
    std::deque<long, RecyclingAllocator<long>> queue{RecyclingAllocator<long>(recycler)};
    for (long i = 0; i < 1000; ++i) {
        queue.push_back(i);
    }
    for (long i = 1000; i < 2000; ++i) {
        queue.push_back(i);
        queue.pop_front();
    }
    const std::size_t warm = recycler.blocksFromHeap();
    for (long i = 2000; i < 200000; ++i) {
        queue.push_back(i);
        queue.pop_front();
    }
    EXPECT_EQ(queue.front(), 199000);
    EXPECT_EQ(queue.size(), 1000u);
    EXPECT_EQ(recycler.blocksFromHeap(), warm);
}

}  // namespace
}  // namespace corvane
