#pragma once

#include <cstdint>

#include "attribution/MonotonicClock.h"

namespace corvane {

// The time attribution may take, as a bucket of time refilled at a steady
// rate: each turn of the loop gets a budget of at most perTurn, and never
// more than the bucket holds. A turn that spends more than it was given (the
// socket lookup runs whatever the budget) leaves the bucket in debt, which
// later turns repay by getting nothing until it refills (a debt of at most
// capacity). So a turn is held up by at most perTurn, and the searches of
// /proc take at most perSecond of every second in the long run, however
// many new clients a local process makes; what is left is the socket
// lookup of each new client, a few microseconds.
class LookupAllowance {
public:
    struct Limits {
        std::int64_t perTurn = NanosecondsPerMillisecond;
        // A tenth of a core: room for hundreds of new programs a second.
        std::int64_t perSecond = 100 * NanosecondsPerMillisecond;
        // What an idle spell saves up: a second's worth.
        std::int64_t capacity = 100 * NanosecondsPerMillisecond;
    };

    LookupAllowance() : LookupAllowance(Limits{}) {}
    explicit LookupAllowance(const Limits& limits) : limits_(limits), held_(limits.capacity) {}

    // The budget of a turn starting at now (nanoseconds of a monotonic clock).
    LookupBudget budgetFor(std::int64_t now);
    // What the turn's budget was, and what is left of it at the turn's end.
    void spent(const LookupBudget& given, const LookupBudget& left);
    // Milliseconds from now until a turn would get a budget that a step of
    // a search fits (half of perTurn): 0 while the bucket holds that much.
    std::int32_t msUntilBudget(std::int64_t now) const;

private:
    std::int64_t heldAt(std::int64_t now) const;

    Limits limits_;
    std::int64_t held_;
    std::int64_t filledAt_ = 0;
    bool started_ = false;
};

}  // namespace corvane
