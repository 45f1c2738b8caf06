#include "log/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace corvane {

std::size_t writeAll(int fd, const char* data, std::size_t size,
                     std::atomic<std::size_t>* progress) noexcept {
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
        if (progress != nullptr) {
            progress->fetch_add(static_cast<std::size_t>(n), std::memory_order_relaxed);
        }
    }
    return written;
}

}  // namespace corvane
