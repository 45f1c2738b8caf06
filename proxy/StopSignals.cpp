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
    // No SA_RESTART: the idle pause is cut short so the loop sees the stop at once.
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

bool stopRequested() {
    return stopSignalled != 0;
}

}  // namespace corvane
