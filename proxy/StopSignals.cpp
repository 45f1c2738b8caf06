#include "proxy/StopSignals.h"

#include <csignal>
#include <initializer_list>

namespace corvane {

namespace {

volatile std::sig_atomic_t stopSignalled = 0;

extern "C" void onStopSignal(int) {
    stopSignalled = 1;
}

}  // namespace

void installStopSignals() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART, so a call that would otherwise resume fails with EINTR
    // instead. The loop sees the flag at its next turn: a serving loop's idle
    // wait for datagrams ends at once (poll is never resumed), while the plain
    // 16 ms pause of an idle proxy sleeps out its rest first (sleepMs resumes
    // it on purpose, so that the pause lasts what it says).
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

bool stopRequested() {
    return stopSignalled != 0;
}

}  // namespace corvane
