#include "attribution/LookupAllowance.h"

#include <algorithm>

namespace corvane {

std::int64_t LookupAllowance::heldAt(std::int64_t now) const {
    if (!started_ || now <= filledAt_) {
        return held_;
    }
    // Ten seconds refill any bucket from the deepest debt, and keep the
    // product below 2^63 for any rate up to a whole second per second.
    const std::int64_t elapsed = std::min(now - filledAt_, 10 * NanosecondsPerSecond);
    const std::int64_t refill = elapsed * limits_.perSecond / NanosecondsPerSecond;
    return std::min(limits_.capacity, held_ + refill);
}

LookupBudget LookupAllowance::budgetFor(std::int64_t now) {
    held_ = heldAt(now);
    filledAt_ = now;
    started_ = true;
    return LookupBudget(std::clamp<std::int64_t>(held_, 0, limits_.perTurn));
}

void LookupAllowance::spent(const LookupBudget& given, const LookupBudget& left) {
    // The debt is bounded, so that a flood that ended is soon forgiven.
    held_ = std::max(-limits_.capacity, held_ - (given.remaining() - left.remaining()));
}

std::int32_t LookupAllowance::msUntilBudget(std::int64_t now) const {
    // Half a turn's budget fits a step however long steps are lately; less
    // could leave a turn unable to start one.
    const std::int64_t useful = limits_.perTurn / 2;
    const std::int64_t held = heldAt(now);
    if (held >= useful) {
        return 0;
    }
    const std::int64_t wait = (useful - held) * NanosecondsPerSecond / limits_.perSecond;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(wait / NanosecondsPerMillisecond + 1, 1, 1000));
}

}  // namespace corvane
