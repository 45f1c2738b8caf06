#include "proxy/StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <initializer_list>

namespace corvane {

namespace {

volatile std::sig_atomic_t stopSignalled = 0;
// The pipe the handler writes to: read end, write end. It lives as long as
// the process, like the handler.
int stopPipe[2] = {-1, -1};

extern "C" void onStopSignal(int) {
    stopSignalled = 1;
    // write is safe in a handler; a full pipe already says what it would.
    if (stopPipe[1] >= 0) {
        const int savedErrno = errno;
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
        errno = savedErrno;
    }
}

}  // namespace

void installStopSignals() {
    if (stopPipe[0] < 0 && ::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        stopPipe[0] = stopPipe[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART, so a call that would otherwise resume fails with EINTR
    // instead. The loop sees the flag at its next turn; the idle wait, which
    // may resume after a signal, ends for the byte in the pipe.
    action.sa_flags = 0;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

bool stopRequested() {
    return stopSignalled != 0;
}

int stopSignalDescriptor() {
    return stopPipe[0];
}

}  // namespace corvane
