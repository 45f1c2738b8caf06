#include <time.h>

#include <ctime>

#include "log/Clock.h"

namespace corvane {

namespace {

// The C library's idea of the local zone, as its last tzset() left it. A
// change of zone changes at least one of these.
struct ZoneIdentity {
    const char* standardName = nullptr;
    const char* daylightName = nullptr;
    long offset = 0;
    int daylight = 0;
    bool operator==(const ZoneIdentity&) const = default;
};

ZoneIdentity currentZone() {
    return {::tzname[0], ::tzname[1], ::timezone, ::daylight};
}

// The last reading, for the second it was made in. The clock is read for
// every log line and every query forwarded, and most readings fall in the
// same second as the one before; converting to local time is the costly part.
struct LastReading {
    std::time_t utc = -1;
    ZoneIdentity zone;
    std::int64_t local = -1;
};

}  // namespace

std::int64_t SystemClock::localSeconds() const {
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) {
        return -1;
    }
    thread_local LastReading last;
    if (now == last.utc && currentZone() == last.zone) {
        return last.local;
    }
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return -1;
    }
    // The offset of the local zone (daylight saving included) shifts the UTC
    // count so that the result reads as the local wall-clock time.
    const std::int64_t seconds = static_cast<std::int64_t>(now) + local.tm_gmtoff;
    const std::int64_t result = seconds < 0 ? -1 : seconds;
    // Read after the conversion, which sets the zone up on its first use.
    last = {now, currentZone(), result};
    return result;
}

// The coarse clock, read without a time-stamp counter, is the cheapest there
// is, and its resolution (the kernel's tick, a few milliseconds) is ample
// for waits of a second: the main loop reads it in every busy turn while log
// lines wait.
std::int64_t SystemClock::monotonicMs() const {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace corvane
