#include "log/Clock.h"

#include <ctime>

namespace corvane {

std::int64_t SystemClock::localSeconds() const {
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) {
        return -1;
    }
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return -1;
    }
    // The offset of the local zone (daylight saving included) shifts the UTC
    // count so that the result reads as the local wall-clock time.
    const std::int64_t seconds = static_cast<std::int64_t>(now) + local.tm_gmtoff;
    return seconds < 0 ? -1 : seconds;
}

}  // namespace corvane
