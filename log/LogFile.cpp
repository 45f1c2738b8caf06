#include "log/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace corvane {

namespace {

// The log file the fault handler writes out: the one opened last. One per
// process is all the program has; a signal handler cannot be handed one.
std::atomic<LogFile*> faultTarget{nullptr};

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

// Writes all of the bytes, resuming after interruptions and partial writes.
// Only write(2): safe in a signal handler.
bool writeFully(int fd, const char* data, std::size_t size) noexcept {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

LogFile::LogFile(std::string path) : path_(std::move(path)) {}

LogFile::~LogFile() {
    LogFile* self = this;
    faultTarget.compare_exchange_strong(self, nullptr);
    if (fd_ >= 0) {
        flush();
        ::close(fd_);
    }
}

bool LogFile::open() {
    if (fd_ >= 0) {
        return true;
    }
    if (!tryOpen()) {
        return false;
    }
    begin_.store(0, std::memory_order_relaxed);
    used_.store(0, std::memory_order_relaxed);
    faultTarget.store(this, std::memory_order_relaxed);
    write(std::string_view(ByteOrderMark, 3));
    return true;
}

bool LogFile::tryOpen() {
    // Every run starts a fresh file: create it, or replace what is there.
    // The Windows build of this log let others read the file but not write
    // or delete it while open; Linux has no sharing modes and we do not
    // imitate them with locks, so other programs can follow the file freely.
    fd_ = ::open(path_.c_str(), O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        // A file we may write but not read (mode 0200, say) still takes the
        // log; it is emptied all the same.
        fd_ = ::open(path_.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    return fd_ >= 0;
}

void LogFile::write(std::string_view bytes) {
    if (fd_ < 0 || bytes.empty()) {
        return;
    }
    const std::size_t used = used_.load(std::memory_order_relaxed);
    if (bytes.size() < BufferSize - used) {
        std::memcpy(buffer_.data() + used, bytes.data(), bytes.size());
        // The copy must be complete before a fault handler can see it.
        std::atomic_signal_fence(std::memory_order_release);
        used_.store(used + bytes.size(), std::memory_order_relaxed);
        return;
    }
    flush();
    if (bytes.size() >= BufferSize) {
        writeFully(fd_, bytes.data(), bytes.size());
        return;
    }
    std::memcpy(buffer_.data(), bytes.data(), bytes.size());
    std::atomic_signal_fence(std::memory_order_release);
    used_.store(bytes.size(), std::memory_order_relaxed);
}

void LogFile::flush() {
    if (fd_ < 0) {
        return;
    }
    const std::size_t used = used_.load(std::memory_order_relaxed);
    std::size_t begin = begin_.load(std::memory_order_relaxed);
    while (begin < used) {
        const ssize_t n = ::write(fd_, buffer_.data() + begin, used - begin);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;  // Dropped: a failed write is not reported.
        }
        begin += static_cast<std::size_t>(n);
        begin_.store(begin, std::memory_order_relaxed);
    }
    // Empty the buffer before the start moves back, so that a fault in
    // between sees an empty range rather than the old bytes again.
    used_.store(0, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_release);
    begin_.store(0, std::memory_order_relaxed);
}

void LogFile::flushForFault() noexcept {
    LogFile* file = faultTarget.load(std::memory_order_relaxed);
    if (file == nullptr || file->fd_ < 0) {
        return;
    }
    std::atomic_signal_fence(std::memory_order_acquire);
    const std::size_t used = file->used_.load(std::memory_order_relaxed);
    const std::size_t begin = file->begin_.load(std::memory_order_relaxed);
    if (begin < used) {
        writeFully(file->fd_, file->buffer_.data() + begin, used - begin);
    }
    // Whatever runs after the report must not write these bytes again.
    file->used_.store(0, std::memory_order_relaxed);
    file->begin_.store(0, std::memory_order_relaxed);
}

}  // namespace corvane
