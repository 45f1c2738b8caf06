#include <gtest/gtest.h>

#include "attribution/ClientCache.h"
#include "attribution/MonotonicClock.h"
#include "attribution/RecentProcesses.h"
#include "tests/attribution/AttributionTestSupport.h"

namespace corvane {
namespace {

using test::ipv4;

constexpr std::int64_t Second = NanosecondsPerSecond;

ClientKey port(std::uint16_t number) {
    return ClientKey{IpProtocol::Udp, ipv4(127, 0, 0, 1), number};
}

CachedAsker checkedAt(std::int64_t when, std::int32_t pid = 1) {
    CachedAsker entry;
    entry.asker = Asker{AskerState::Process, pid, 1000, "p", true};
    entry.checkedAt = when;
    return entry;
}

TEST(ClientCache, TrustsAnAnswerForLessThanASecond) {
    ClientCache cache(16, Second);
    cache.store(port(1), checkedAt(10 * Second), 10 * Second);
    EXPECT_NE(cache.trusted(port(1), 10 * Second), nullptr);
    EXPECT_NE(cache.trusted(port(1), 11 * Second - 1), nullptr);
    EXPECT_EQ(cache.trusted(port(1), 11 * Second), nullptr);
    // Past its trust, it is still the first guess to check.
    EXPECT_NE(cache.remembered(port(1)), nullptr);
    EXPECT_EQ(cache.trusted(port(2), 10 * Second), nullptr);
}

TEST(ClientCache, StaysWithinItsCapacityUnderAFloodOfPorts) {
    ClientCache cache(4, Second);
    for (std::uint16_t p = 1; p <= 4; ++p) {
        cache.store(port(p), checkedAt(0), 0);
    }
    // Full of trusted answers: a new one is not kept.
    cache.store(port(5), checkedAt(Second / 2), Second / 2);
    EXPECT_EQ(cache.size(), 4u);
    EXPECT_EQ(cache.remembered(port(5)), nullptr);
    // A second after that attempt, the old ones make room.
    cache.store(port(6), checkedAt(Second * 3 / 2), Second * 3 / 2);
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_NE(cache.remembered(port(6)), nullptr);
    for (std::uint16_t p = 7; p < 60000; ++p) {
        cache.store(port(p), checkedAt(2 * Second + p), 2 * Second + p);
    }
    EXPECT_LE(cache.size(), 4u);
}

TEST(RecentProcesses, KeepsTheMostRecentFirstAndAFewAtMost) {
    RecentProcesses recent(3);
    for (const std::int32_t pid : {1, 2, 3, 4}) {
        recent.note({pid, 100, 1000, "p", 5});
    }
    recent.note({3, 100, 1000, "again", 6});
    ASSERT_EQ(recent.inOrder().size(), 3u);
    EXPECT_EQ(recent.inOrder()[0].pid, 3);
    EXPECT_EQ(recent.inOrder()[0].descriptor, 6);
    EXPECT_EQ(recent.inOrder()[1].pid, 4);
    EXPECT_EQ(recent.inOrder()[2].pid, 2);
    EXPECT_EQ(recent.find(1, 100), nullptr);
}

}  // namespace
}  // namespace corvane
