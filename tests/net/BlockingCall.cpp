#include "BlockingCall.h"

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>

namespace corvane::test {

namespace {

constexpr int WatchRounds = 20'000;  // of 1 ms each, at the least
constexpr int InterruptRounds = 5'000;

// The system calls that put a thread to sleep until a descriptor is ready.
constexpr long ReadinessWaits[] = {
#ifdef SYS_poll
    SYS_poll,
#endif
#ifdef SYS_select
    SYS_select,
#endif
#ifdef SYS_epoll_wait
    SYS_epoll_wait,
#endif
    SYS_ppoll,      SYS_pselect6, SYS_epoll_pwait,
};

// The kernel's account of the thread: asleep ('S' in stat), and inside one
// of the waits (the number /proc gives first in syscall; "running" when the
// thread is not in a system call at all).
bool asleepInAWait(pid_t thread) {
    const std::string task = "/proc/self/task/" + std::to_string(thread);
    std::ifstream statFile(task + "/stat");
    std::string stat;
    std::getline(statFile, stat);
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos || nameEnd + 2 >= stat.size() || stat[nameEnd + 2] != 'S') {
        return false;
    }
    std::ifstream syscallFile(task + "/syscall");
    long number = -1;
    if (!(syscallFile >> number)) {
        return false;
    }
    return std::find(std::begin(ReadinessWaits), std::end(ReadinessWaits), number) !=
           std::end(ReadinessWaits);
}

void ignoreSignal(int) {}

// Without SA_RESTART, so that the signal ends the wait instead of resuming it.
void installInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = ignoreSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGUSR1, &action, nullptr);
}

}  // namespace

BlockingCall::BlockingCall(std::function<void()> call) {
    static const bool installed = (installInterruptHandler(), true);
    (void)installed;
    thread_ = std::thread([this, call = std::move(call)] {
        threadId_ = gettid();
        call();
        returned_ = true;
    });
}

BlockingCall::~BlockingCall() {
    interrupt();
    join();
}

bool BlockingCall::sleepsInAWait() const {
    for (int round = 0; round < WatchRounds && !returned_; ++round) {
        const pid_t thread = threadId_;
        if (thread != 0 && asleepInAWait(thread)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void BlockingCall::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

// A signal sent before the thread reaches its wait would be lost, so it is
// sent again until the call has returned, for a bounded number of rounds.
void BlockingCall::interrupt() {
    for (int round = 0; round < InterruptRounds && thread_.joinable() && !returned_; ++round) {
        pthread_kill(thread_.native_handle(), SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace corvane::test
