#include "log/LogFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "log/WriteAll.h"

namespace corvane {

namespace {

// The log file the fault and exit handlers write out: the one opened last.
// One per process is all the program has; a handler cannot be handed one.
std::atomic<LogFile*> faultTarget{nullptr};

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr std::size_t ByteOrderMarkSize = 3;

// Why an open was refused. Each is said on standard error once per file,
// not at every line that tries again.
enum Refusal : unsigned {
    RefusedLink = 1u << 0,
    RefusedNotRegular = 1u << 1,
    RefusedLocked = 1u << 2,
};

}  // namespace

LogFile::LogFile(std::string path) : path_(std::move(path)) {}

LogFile::~LogFile() {
    LogFile* self = this;
    faultTarget.compare_exchange_strong(self, nullptr);
    if (fd_ >= 0) {
        flush();
        // Closing the descriptor releases the lock.
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
    fileSize_ = 0;
    lineStart_ = ByteOrderMarkSize;
    cut_ = false;
    skipping_ = false;
    faultTarget.store(this, std::memory_order_relaxed);
    write(std::string_view(ByteOrderMark, ByteOrderMarkSize));
    return true;
}

bool LogFile::tryOpen() {
    // Every run starts a fresh file, but only a regular file of that name is
    // ever emptied: the program may run as root in a folder others can write
    // to, where a planted link would make it truncate any file of the
    // machine. So a link is not followed, nothing is truncated at open, and
    // O_NONBLOCK keeps a FIFO in the file's place from blocking the open.
    // Other programs may read and follow the file while it is open; Linux
    // has no sharing modes to keep them from writing it.
    constexpr int Flags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    int fd = ::open(path_.c_str(), O_CREAT | O_RDWR | Flags, 0644);
    if (fd < 0 && errno != ELOOP) {
        // A file we may write but not read (mode 0200, say) still takes the
        // log.
        fd = ::open(path_.c_str(), O_WRONLY | Flags);
    }
    if (fd < 0) {
        if (errno == ELOOP) {
            refuse(RefusedLink, "it is a symbolic link, which is not followed");
        }
        return false;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        refuse(RefusedNotRegular, "it is not a regular file");
        return false;
    }
    // A second Corvane started in the same folder must not empty the file
    // the first one is writing. The lock is taken before the file is
    // emptied and held while it is open; a file system without locks still
    // takes the log, unlocked.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        refuse(RefusedLocked, "another running Corvane writes to it");
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (::ftruncate(fd, 0) != 0 || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void LogFile::refuse(unsigned reason, const char* why) {
    if ((refusalsSaid_ & reason) != 0) {
        return;
    }
    refusalsSaid_ |= reason;
    std::fprintf(stderr, "%s: not opened as the log file: %s\n", path_.c_str(), why);
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
        writeOut(bytes.data(), bytes.size());
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
    const std::size_t begin = begin_.load(std::memory_order_relaxed);
    if (begin < used) {
        // begin_ follows each partial write, so that a fault in the middle
        // of the flush does not write the same bytes twice.
        writeOut(buffer_.data() + begin, used - begin, &begin_);
    }
    // Empty the buffer before the start moves back, so that a fault in
    // between sees an empty range rather than the old bytes again.
    used_.store(0, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_release);
    begin_.store(0, std::memory_order_relaxed);
}

// Every byte offered is written or dropped, and progress, when given,
// advances past it either way. A failed write is not reported: the log has
// nowhere to report it.
void LogFile::writeOut(const char* data, std::size_t size,
                       std::atomic<std::size_t>* progress) noexcept {
    const auto pass = [progress](std::size_t count) {
        if (progress != nullptr) {
            progress->fetch_add(count, std::memory_order_relaxed);
        }
    };
    if (size == 0) {
        return;
    }
    if (cut_ && !cutBackToLineStart()) {
        // Nothing may follow a line that could not be taken back.
        skipping_ = data[size - 1] != '\n';
        pass(size);
        return;
    }
    const std::size_t skipped = skipCutLine(data, size);
    pass(skipped);
    data += skipped;
    size -= skipped;
    if (size == 0) {
        return;
    }
    const std::size_t written = writeAll(fd_, data, size, progress);
    noteWritten(data, written);
    if (written < size) {
        // A full disk, most likely. The line the write stopped in goes, with
        // what was written of it, and so does the rest of what was offered:
        // the next line written starts where this one did.
        cut_ = fileSize_ != lineStart_;
        skipping_ = data[size - 1] != '\n';
        pass(size - written);
        if (cut_) {
            cutBackToLineStart();
        }
    }
}

std::size_t LogFile::skipCutLine(const char* data, std::size_t size) noexcept {
    if (!skipping_) {
        return 0;
    }
    const void* end = std::memchr(data, '\n', size);
    if (end == nullptr) {
        return size;
    }
    skipping_ = false;
    return static_cast<std::size_t>(static_cast<const char*>(end) - data) + 1;
}

void LogFile::noteWritten(const char* data, std::size_t size) noexcept {
    if (size == 0) {
        return;
    }
    if (const void* end = ::memrchr(data, '\n', size); end != nullptr) {
        lineStart_ = fileSize_ + static_cast<std::size_t>(static_cast<const char*>(end) - data) + 1;
    }
    fileSize_ += size;
}

// A file cut inside its byte order mark keeps no line at all.
bool LogFile::cutBackToLineStart() noexcept {
    const std::uint64_t keep = fileSize_ >= lineStart_ ? lineStart_ : 0;
    const auto offset = static_cast<off_t>(keep);
    if (::ftruncate(fd_, offset) != 0 || ::lseek(fd_, offset, SEEK_SET) != offset) {
        return false;
    }
    fileSize_ = keep;
    lineStart_ = keep;
    cut_ = false;
    return true;
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
        // With its progress kept, so that a fault in the middle of an exit
        // handler's flush writes only the rest.
        file->writeOut(file->buffer_.data() + begin, used - begin, &file->begin_);
    }
    // Whatever runs after the report must not write these bytes again.
    file->used_.store(0, std::memory_order_relaxed);
    file->begin_.store(0, std::memory_order_relaxed);
}

}  // namespace corvane
