#include "BlocklistFilter.h"

#include <corvane/filter.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "ListParser.h"

namespace corvane::blocklist {
namespace {

// Closes the descriptor on every way out of readFile.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string joinPath(const std::string& folder, std::string_view file) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += file;
    return path;
}

}  // namespace

CoarseClock::time_point CoarseClock::now() noexcept {
    timespec reading{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &reading);
    return time_point(std::chrono::seconds(reading.tv_sec) +
                      std::chrono::nanoseconds(reading.tv_nsec));
}

std::int32_t decide(const FilterLists& lists, std::u16string_view name) {
    if (lists.allowed.containsSelfOrParent(name)) {
        return Forward;
    }
    return lists.blocked.containsSelfOrParent(name) ? lists.verdict : Forward;
}

BlocklistFilter::BlocklistFilter(std::string folder, Clock::duration recheckInterval)
    : recheckInterval_(recheckInterval) {
    blockList_.path = joinPath(folder, blockListFile);
    allowList_.path = joinPath(folder, allowListFile);
}

std::int32_t BlocklistFilter::query(std::u16string_view name, Clock::time_point now) {
    if (!checked_ || now - lastCheck_ >= recheckInterval_) {
        checked_ = true;
        lastCheck_ = now;
        refresh();
    }
    return decide(lists_, name);
}

bool BlocklistFilter::stampOf(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        const int error = errno;
        stamp = FileStamp{};
        return error == ENOENT || error == ENOTDIR;
    }
    stamp = FileStamp{
        true, info.st_dev, info.st_ino, info.st_size,
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    return true;
}

bool BlocklistFilter::readFile(const std::string& path, std::string& text, FileStamp& stamp) {
    text.clear();
    // Non-blocking, so that a FIFO put in the list's place cannot hang the
    // host; it is then refused as not a regular file.
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        const int error = errno;
        stamp = FileStamp{};
        return error == ENOENT || error == ENOTDIR;
    }
    // The stamp is taken from the open file, so a write racing the read
    // leaves a newer stamp on disk and the next check reads it again.
    struct stat info {};
    if (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    stamp = FileStamp{
        true, info.st_dev, info.st_ino, info.st_size,
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    text.resize(static_cast<std::size_t>(info.st_size));
    std::size_t filled = 0;
    while (true) {
        if (filled == text.size()) {
            // The file may have grown since fstat.
            text.resize(text.size() + 65536);
        }
        const ssize_t got = read(file.get(), text.data() + filled, text.size() - filled);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    text.resize(filled);
    return true;
}

void BlocklistFilter::refresh() {
    // A file that cannot be read now (no permission, a folder in its place)
    // keeps the names loaded before and is tried again at the next check.
    for (ListFile* file : {&blockList_, &allowList_}) {
        FileStamp current;
        if (!stampOf(file->path, current) || (file->loaded && current == file->stamp)) {
            continue;
        }
        std::string text;
        FileStamp stamp;
        if (!readFile(file->path, text, stamp)) {
            continue;
        }
        DomainSet names;
        if (file == &blockList_) {
            const ParseSummary summary = parseList(text, ListKind::Block, names);
            lists_.blocked = std::move(names);
            lists_.verdict = summary.verdict.value_or(Block);
        } else {
            parseList(text, ListKind::Allow, names);
            lists_.allowed = std::move(names);
        }
        file->stamp = stamp;
        file->loaded = true;
    }
}

}  // namespace corvane::blocklist
