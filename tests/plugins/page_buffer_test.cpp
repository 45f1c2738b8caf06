#include "PageBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace corvane::blocklist {
namespace {

// The buffer is cut out of a larger mapping to start on a huge-page
// boundary; a slip in that arithmetic would hand out bytes that are not
// mapped (a fault on the last one) or unmap a neighbour's.
TEST(PageBuffer, EveryByteAskedForIsZeroAndWritableAtBothEnds) {
    constexpr std::size_t Huge = PageBuffer::HugePageBytes;
    for (const std::size_t bytes :
         {std::size_t{1}, std::size_t{4097}, Huge - 1, Huge, Huge + 1, 3 * Huge + 12345}) {
        for (const bool large : {false, true}) {
            PageBuffer buffer(bytes, large);
            ASSERT_NE(buffer.data(), nullptr);
            EXPECT_GE(buffer.mapped(), bytes);
            if (large) {
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % Huge, 0u) << bytes;
            }
            EXPECT_EQ(buffer.data()[0], 0);
            EXPECT_EQ(buffer.data()[bytes - 1], 0);
            buffer.data()[0] = 1;
            buffer.data()[bytes - 1] = 2;
            // Moved, the memory has one owner: the old one gives nothing back.
            PageBuffer moved = std::move(buffer);
            EXPECT_EQ(buffer.data(), nullptr);
            EXPECT_EQ(buffer.mapped(), 0u);
            EXPECT_EQ(moved.data()[bytes - 1], 2);
        }
    }
}

}  // namespace
}  // namespace corvane::blocklist
