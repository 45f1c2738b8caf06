#pragma once

#include <cstdint>

#include "log/Clock.h"

namespace corvane::test {

// Stands still unless told to move: a test sets now, or stepPerRead to advance
// it after each reading, and sets monotonic for the millisecond count. Starts
// on an ordinary date; a test that needs another passes it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::int64_t start = 1'000'000) : now(start) {}

    std::int64_t localSeconds() const override {
        const std::int64_t reading = now;
        now += stepPerRead;
        return reading;
    }

    std::int64_t monotonicMs() const override { return monotonic; }

    // Mutable: a reading moves it when stepPerRead says so.
    mutable std::int64_t now;
    std::int64_t stepPerRead = 0;
    std::int64_t monotonic = 0;
};

}  // namespace corvane::test
