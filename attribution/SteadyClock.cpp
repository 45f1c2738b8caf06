#include <time.h>

#include "attribution/MonotonicClock.h"

namespace corvane {

std::int64_t SteadyClock::nanoseconds() const {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * NanosecondsPerSecond + now.tv_nsec;
}

}  // namespace corvane
