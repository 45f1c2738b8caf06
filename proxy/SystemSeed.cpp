#include "proxy/SystemSeed.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace corvane {

namespace {

bool fromGetrandom(RandomSeed& seed, int& error) {
    for (;;) {
        const ssize_t got = getrandom(seed.data(), seed.size(), 0);
        if (got == static_cast<ssize_t>(seed.size())) {
            return true;
        }
        error = got < 0 ? errno : EIO;
        if (got < 0 && error == EINTR) {
            continue;
        }
        return false;
    }
}

bool fromDevice(RandomSeed& seed, int& error) {
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    std::size_t got = 0;
    while (got < seed.size()) {
        const ssize_t n = read(fd, seed.data() + got, seed.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            error = n < 0 ? errno : EIO;
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    return got == seed.size();
}

}  // namespace

std::optional<RandomSeed> systemSeed() {
    RandomSeed seed{};
    int callError = 0;
    if (fromGetrandom(seed, callError)) {
        return seed;
    }
    int deviceError = 0;
    if (fromDevice(seed, deviceError)) {
        return seed;
    }
    std::fprintf(stderr,
                 "corvane: no random seed from the system (getrandom: %s; /dev/urandom: %s)\n",
                 std::strerror(callError), std::strerror(deviceError));
    return std::nullopt;
}

}  // namespace corvane
