#include "attribution/LookupAllowance.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

constexpr std::int64_t Ms = NanosecondsPerMillisecond;

// Spends all of a turn's budget and `beyond` more, as a turn whose socket
// lookups ran with the budget spent.
void spendAll(LookupAllowance& allowance, std::int64_t now, std::int64_t beyond = 0) {
    const LookupBudget given = allowance.budgetFor(now);
    LookupBudget left = given;
    left.spend(given.remaining() + beyond);
    allowance.spent(given, left);
}

// A local process flooding from new sockets keeps every turn's budget spent:
// over ten seconds of turns 20 µs apart, the searches get no more than the
// rate allows (and the second saved up before), and no turn more than 1 ms.
TEST(LookupAllowance, AFloodGetsTheRateAndNoTurnMoreThanAMillisecond) {
    LookupAllowance allowance;
    std::int64_t given = 0;
    std::int64_t longest = 0;
    for (std::int64_t now = 0; now < 10 * NanosecondsPerSecond; now += 20'000) {
        const LookupBudget budget = allowance.budgetFor(now);
        given += budget.remaining();
        longest = std::max(longest, budget.remaining());
        allowance.spent(budget, LookupBudget(0));
    }
    EXPECT_LE(longest, Ms);
    EXPECT_LE(given, 11 * 100 * Ms);
    EXPECT_GE(given, 10 * 100 * Ms);
}

TEST(LookupAllowance, ADebtIsRepaidAndBoundedSoAFloodThatEndedIsSoonForgiven) {
    LookupAllowance allowance;
    EXPECT_EQ(allowance.budgetFor(0).remaining(), Ms);
    EXPECT_EQ(allowance.msUntilBudget(0), 0);
    // Far more than the bucket holds, spent beyond the budgets given.
    spendAll(allowance, 0, 10 * NanosecondsPerSecond);
    EXPECT_EQ(allowance.budgetFor(1).remaining(), 0);
    // The debt stops at a second's worth: from -100 ms to the half
    // millisecond a step needs takes 1.005 s at 100 ms a second, said as a
    // wait of a second (the longest it says) and then the rest.
    EXPECT_EQ(allowance.msUntilBudget(1), 1000);
    const std::int32_t rest = allowance.msUntilBudget(1 + 1000 * Ms);
    EXPECT_GE(rest, 5);
    EXPECT_LE(rest, 6);
    const std::int64_t repaid = 1 + (1000 + std::int64_t{rest}) * Ms;
    EXPECT_EQ(allowance.msUntilBudget(repaid), 0);
    EXPECT_GE(allowance.budgetFor(repaid).remaining(), Ms / 2);
}

TEST(LookupAllowance, AnIdleSpellSavesUpNoMoreThanTheBucket) {
    LookupAllowance allowance;
    for (int turn = 0; turn < 100; ++turn) {
        spendAll(allowance, 0);
    }
    EXPECT_EQ(allowance.budgetFor(0).remaining(), 0);
    // An hour later the bucket is full, and holds no more than 100 turns.
    const std::int64_t later = 3600 * NanosecondsPerSecond;
    int turns = 0;
    while (allowance.budgetFor(later).remaining() > 0 && turns < 1000) {
        spendAll(allowance, later);
        ++turns;
    }
    EXPECT_EQ(turns, 100);
}

}  // namespace
}  // namespace corvane
