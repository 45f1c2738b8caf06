#include "log/FaultLineLookup.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "log/HelperProgram.h"

namespace corvane {

namespace {

std::int64_t monotonicMs() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Reads from fd until the writer closes it, at most capacity bytes (the rest
// is read and dropped), for at most timeoutMs. False on time-out.
bool readUntilClosed(int fd, char* out, std::size_t capacity, std::size_t& length,
                     int timeoutMs) noexcept {
    const std::int64_t deadline = monotonicMs() + timeoutMs;
    length = 0;
    char dropped[64];
    for (;;) {
        const std::int64_t remaining = deadline - monotonicMs();
        if (remaining <= 0) {
            return false;
        }
        pollfd readable{fd, POLLIN, 0};
        const int ready = poll(&readable, 1, static_cast<int>(remaining));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        const bool full = length == capacity;
        const ssize_t n =
            full ? read(fd, dropped, sizeof dropped) : read(fd, out + length, capacity - length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return true;
        }
        if (!full) {
            length += static_cast<std::size_t>(n);
        }
    }
}

void writeHex(std::uintptr_t value, char* out, std::size_t digits) noexcept {
    static constexpr char Hex[] = "0123456789abcdef";
    for (std::size_t i = digits; i > 0; --i) {
        out[i - 1] = Hex[value & 0xF];
        value >>= 4;
    }
    out[digits] = '\0';
}

}  // namespace

FaultLineLookup::~FaultLineLookup() {
    if (programFd_ >= 0) {
        close(programFd_);
    }
}

bool FaultLineLookup::prepare(const char* helperPath, const char* sourceRoot) noexcept {
    sourceRoot_ = sourceRoot;
    // The file stays the same for the life of the process: opened once, by
    // the first registration.
    if (programFd_ < 0) {
        programFd_ = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    }
    ready_ = programFd_ >= 0 &&
             std::snprintf(program_, sizeof program_, "/proc/self/fd/%d", programFd_) <
                 static_cast<int>(sizeof program_) &&
             chooseHelperPath(helperPath, FaultLineProgram, helper_, sizeof helper_);
    return ready_;
}

void FaultLineLookup::fillArguments(const FaultAddresses& addresses) noexcept {
    std::size_t count = 0;
    argv_[count++] = helper_;
    argv_[count++] = program_;
    argv_[count++] = const_cast<char*>(sourceRoot_);
    for (std::size_t i = 0; i < addresses.count && i < FaultAddresses::Capacity; ++i) {
        writeHex(addresses.offsets[i], offsetText_[i], OffsetDigits);
        argv_[count++] = offsetText_[i];
    }
    argv_[count] = nullptr;
}

SourcePosition FaultLineLookup::locate(const FaultAddresses& addresses) noexcept {
    SourcePosition position = unknownSourcePosition();
    int answerPipe[2];
    if (!ready_ || addresses.count == 0 || pipe2(answerPipe, O_CLOEXEC) != 0) {
        return position;
    }
    fillArguments(addresses);
    const pid_t helper = startHelper(helper_, argv_, answerPipe[1], programFd_);
    close(answerPipe[1]);
    if (helper > 0) {
        char answer[PositionAnswerCapacity];
        std::size_t length = 0;
        if (readUntilClosed(answerPipe[0], answer, sizeof answer, length, FaultLineTimeoutMs)) {
            parsePositionAnswer(answer, length, position);
        } else {
            kill(helper, SIGKILL);
        }
        awaitHelper(helper);
    }
    close(answerPipe[0]);
    return position;
}

}  // namespace corvane
