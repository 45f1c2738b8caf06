// The upstream numbers of queries in flight: a number held is never drawn
// again, a free one is always found while one exists, and the oldest is known.
#include "proxy/HeldNumbers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "tests/support/TestSeed.h"

namespace corvane {
namespace {

// Every number held but those listed; the draws must land on those alone,
// through the few draws or the walk (which, from any start, must wrap round
// to a free number below it).
class HeldAllBut : public testing::TestWithParam<std::vector<std::uint16_t>> {};

TEST_P(HeldAllBut, DrawsOnlyFreeNumbers) {
    const std::vector<std::uint16_t>& free = GetParam();
    HeldNumbers held;
    for (std::uint32_t n = 0; n < HeldNumbers::Numbers; ++n) {
        const auto number = static_cast<std::uint16_t>(n);
        if (std::find(free.begin(), free.end(), number) == free.end()) {
            held.take(number);
        }
    }
    RandomStream random(test::testSeed());
    for (int i = 0; i < 2000; ++i) {
        const std::optional<std::uint16_t> number = held.drawFree(random);
        ASSERT_TRUE(number.has_value());
        ASSERT_FALSE(held.held(*number)) << "drew held number " << *number;
    }
}

INSTANTIATE_TEST_SUITE_P(FreeNumbers, HeldAllBut,
                         testing::Values(std::vector<std::uint16_t>{0},
                                         std::vector<std::uint16_t>{0xFFFF},
                                         std::vector<std::uint16_t>{0x7FFF, 0x8000},
                                         std::vector<std::uint16_t>{63, 64, 0x1234, 0xFFC0}));

TEST(HeldNumbers, TakenAsDrawnNoneRepeatsUntilAllAreHeld) {
    HeldNumbers held;
    RandomStream random(test::testSeed(1));
    for (std::uint32_t i = 0; i < HeldNumbers::Numbers; ++i) {
        const std::optional<std::uint16_t> number = held.drawFree(random);
        ASSERT_TRUE(number.has_value()) << "no free number with " << i << " held";
        ASSERT_FALSE(held.held(*number));
        held.take(*number);
    }
    EXPECT_EQ(held.size(), HeldNumbers::Numbers);
    EXPECT_EQ(held.drawFree(random), std::nullopt);
}

TEST(HeldNumbers, OldestFollowsTheOrderOfTakingThroughReleases) {
    HeldNumbers held;
    EXPECT_EQ(held.oldest(), std::nullopt);
    for (std::uint16_t number : std::vector<std::uint16_t>{500, 7, 0xFFFF, 0, 42}) {
        held.take(number);
    }
    EXPECT_EQ(held.oldest(), 500);
    held.release(7);      // from the middle
    held.release(42);     // the newest
    held.release(12345);  // not held: nothing
    EXPECT_EQ(held.size(), 3u);
    EXPECT_EQ(held.oldest(), 500);
    held.release(500);
    EXPECT_EQ(held.oldest(), 0xFFFF);
    held.take(7);
    held.release(0xFFFF);
    held.release(0);
    EXPECT_EQ(held.oldest(), 7);
    held.release(7);
    EXPECT_EQ(held.oldest(), std::nullopt);
    EXPECT_EQ(held.size(), 0u);
    EXPECT_FALSE(held.held(7));
}

}  // namespace
}  // namespace corvane
