#include <gtest/gtest.h>

#include <csignal>

#include "log/FaultReport.h"

namespace corvane {
namespace {

void earlierHandler(int) {}

struct sigaction currentAction(int signo) {
    struct sigaction action {};
    sigaction(signo, nullptr, &action);
    return action;
}

// Puts a handler of the test's own in place for every fault signal, and the
// defaults back afterwards.
class FaultRegistration : public ::testing::Test {
protected:
    void SetUp() override {
        struct sigaction action {};
        action.sa_handler = earlierHandler;
        sigemptyset(&action.sa_mask);
        for (const int signo : FaultSignals) {
            sigaction(signo, &action, &saved_[index(signo)]);
        }
    }
    void TearDown() override {
        for (const int signo : FaultSignals) {
            sigaction(signo, &saved_[index(signo)], nullptr);
        }
    }
    static std::size_t index(int signo) {
        for (std::size_t i = 0; i < std::size(FaultSignals); ++i) {
            if (FaultSignals[i] == signo) {
                return i;
            }
        }
        return 0;
    }

private:
    struct sigaction saved_[std::size(FaultSignals)] = {};
};

TEST_F(FaultRegistration, InstallsTheHandlerOnTheAlternateStackAndPutsTheEarlierOnesBack) {
    stack_t before{};
    ASSERT_EQ(sigaltstack(nullptr, &before), 0);
    {
        FaultReportRegistration registration;
        ASSERT_TRUE(registration.registered());
        for (const int signo : FaultSignals) {
            const struct sigaction action = currentAction(signo);
            EXPECT_TRUE(action.sa_flags & SA_SIGINFO) << signo;
            EXPECT_TRUE(action.sa_flags & SA_ONSTACK) << signo;
            EXPECT_NE(action.sa_handler, earlierHandler) << signo;
        }
        stack_t during{};
        ASSERT_EQ(sigaltstack(nullptr, &during), 0);
        EXPECT_FALSE(during.ss_flags & SS_DISABLE);
        EXPECT_NE(during.ss_sp, before.ss_sp);
        // Big enough for the unwinder and the start of the helpers.
        EXPECT_GE(during.ss_size, 64u * 1024u);
    }
    for (const int signo : FaultSignals) {
        const struct sigaction action = currentAction(signo);
        EXPECT_EQ(action.sa_handler, earlierHandler) << signo;
        EXPECT_FALSE(action.sa_flags & SA_SIGINFO) << signo;
    }
    stack_t after{};
    ASSERT_EQ(sigaltstack(nullptr, &after), 0);
    EXPECT_EQ(after.ss_sp, before.ss_sp);
    EXPECT_EQ(after.ss_size, before.ss_size);
    EXPECT_EQ(after.ss_flags & SS_DISABLE, before.ss_flags & SS_DISABLE);
}

TEST_F(FaultRegistration, ASecondRegistrationRegistersNothingAndTakesNothingAway) {
    FaultReportRegistration first;
    ASSERT_TRUE(first.registered());
    const struct sigaction registered = currentAction(SIGSEGV);
    {
        FaultReportRegistration second;
        EXPECT_FALSE(second.registered());
    }
    EXPECT_EQ(currentAction(SIGSEGV).sa_sigaction, registered.sa_sigaction);
}

TEST_F(FaultRegistration, CanRegisterAgainAfterTheEnd) {
    { FaultReportRegistration first; }
    FaultReportRegistration again;
    EXPECT_TRUE(again.registered());
    EXPECT_NE(currentAction(SIGFPE).sa_handler, earlierHandler);
}

}  // namespace
}  // namespace corvane
