#pragma once

#include <cstdint>

namespace corvane {

// localSeconds: the local calendar date and time as whole seconds since
// 1970-01-01 00:00:00, the local time read as if it were UTC. 64 bits wide so
// that it keeps counting after 2038; -1 for a date before 1970.
// monotonicMs: milliseconds from some fixed point in the past, never set back
// or forward with the calendar, to within a few milliseconds; for measuring
// waits of a second or so.
// Behind an interface so tests can step time without sleeping.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t localSeconds() const = 0;
    virtual std::int64_t monotonicMs() const = 0;
};

// The clock of the running program.
class SystemClock final : public Clock {
public:
    std::int64_t localSeconds() const override;
    std::int64_t monotonicMs() const override;
};

}  // namespace corvane
