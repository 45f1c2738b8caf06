#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "log/Clock.h"

namespace corvane {
namespace {

// Sets the process's time zone for one test and puts the old one back.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = ::getenv("TZ")) {
            old_ = old;
        }
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (old_) {
            ::setenv("TZ", old_->c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

struct ZoneCase {
    const char* zone;
    std::int64_t offsetSeconds;  // local time minus UTC
};

class SystemClockTest : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(SystemClockTest, ReadsLocalTimeAsIfItWereUtc) {
    ZoneScope scope(GetParam().zone);
    SystemClock clock;
    const std::int64_t before = std::time(nullptr);
    const std::int64_t local = clock.localSeconds();
    const std::int64_t after = std::time(nullptr);
    EXPECT_GE(local, before + GetParam().offsetSeconds);
    EXPECT_LE(local, after + GetParam().offsetSeconds);
}

// Readings are reused within a second; a zone changed in between must still
// show in the very next reading.
TEST(SystemClockZoneChange, FollowsTheNewZoneAtOnce) {
    SystemClock clock;
    std::int64_t east = 0;
    std::int64_t west = 0;
    std::int64_t before = 0;
    std::int64_t after = 0;
    {
        ZoneScope scope("EAST-5");
        before = std::time(nullptr);
        east = clock.localSeconds();
        ::setenv("TZ", "WEST+3:30", 1);
        ::tzset();
        west = clock.localSeconds();
        after = std::time(nullptr);
    }
    EXPECT_GE(east, before + 5 * 3600);
    EXPECT_LE(east, after + 5 * 3600);
    EXPECT_GE(west, before - (3 * 3600 + 1800));
    EXPECT_LE(west, after - (3 * 3600 + 1800));
}

// POSIX zone strings count hours west of Greenwich as positive.
INSTANTIATE_TEST_SUITE_P(Zones, SystemClockTest,
                         ::testing::Values(ZoneCase{"UTC0", 0}, ZoneCase{"EAST-5", 5 * 3600},
                                           ZoneCase{"WEST+3:30", -(3 * 3600 + 1800)}));

}  // namespace
}  // namespace corvane
