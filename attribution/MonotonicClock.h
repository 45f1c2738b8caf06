#pragma once

#include <cstdint>

namespace corvane {

// Nanoseconds from an arbitrary start, never going back: the clock that
// attribution measures its budget and the age of what it remembers by.
// Behind an interface so tests can step time without waiting.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual std::int64_t nanoseconds() const = 0;
};

// The clock of the running program (CLOCK_MONOTONIC).
class SteadyClock final : public MonotonicClock {
public:
    std::int64_t nanoseconds() const override;
};

inline constexpr std::int64_t NanosecondsPerMillisecond = 1'000'000;
inline constexpr std::int64_t NanosecondsPerSecond = 1'000'000'000;

// The time a caller lets attribution take, spent across any number of calls:
// one budget per turn of the loop, handed to every call in that turn, keeps
// the turn's whole share bounded. The engine deducts the time each call took.
class LookupBudget {
public:
    explicit LookupBudget(std::int64_t nanoseconds) : remaining_(nanoseconds) {}

    std::int64_t remaining() const { return remaining_; }
    bool spent() const { return remaining_ <= 0; }
    void spend(std::int64_t nanoseconds) { remaining_ -= nanoseconds; }

private:
    std::int64_t remaining_;
};

}  // namespace corvane
