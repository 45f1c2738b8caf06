#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <thread>

namespace corvane::test {

// A call that may block, run on a thread of its own so that a test can see
// from outside what the kernel does with it. sleepsInAWait() asks /proc, so a
// test knows that the call is waiting instead of guessing from a delay. The
// destructor interrupts a wait that nothing else would end (with a signal
// whose handler does nothing), then joins.
class BlockingCall {
public:
    explicit BlockingCall(std::function<void()> call);
    ~BlockingCall();
    BlockingCall(const BlockingCall&) = delete;
    BlockingCall& operator=(const BlockingCall&) = delete;

    // Watches the call for a bounded number of rounds: true as soon as it is
    // seen asleep in a wait for readiness (poll, select, epoll), false when it
    // returns without being seen so, or never gets there.
    bool sleepsInAWait() const;
    bool returned() const { return returned_; }
    // Waits until the call returns.
    void join();

private:
    void interrupt();

    std::atomic<pid_t> threadId_{0};
    std::atomic<bool> returned_{false};
    std::thread thread_;
};

}  // namespace corvane::test
