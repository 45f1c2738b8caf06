#include "ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

namespace corvane::blocklist {
namespace {

// Big enough that a list of tens of megabytes takes a few hundred reads,
// small beside the sets the list becomes.
constexpr std::size_t ReadPieceBytes = std::size_t{256} << 10;

// Closes the descriptor on every way out of readListFile.
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

FileStamp stampFrom(const struct stat& info) {
    return FileStamp{
        true, info.st_dev, info.st_ino, info.st_size,
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

bool isMissing(int error) {
    return error == ENOENT || error == ENOTDIR;
}

}  // namespace

std::string readErrorText(int error) {
    return error == NotRegularFile ? "not a regular file" : std::strerror(error);
}

int stampOf(const std::string& path, FileStamp& stamp) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        const int error = errno;
        stamp = FileStamp{};
        return isMissing(error) ? 0 : error;
    }
    stamp = stampFrom(info);
    return 0;
}

int readListFile(const std::string& path, ListReader& reader, FileStamp& stamp) {
    // Non-blocking, so that a FIFO put in the list's place cannot hang the
    // host; it is then refused as not a regular file.
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        const int error = errno;
        stamp = FileStamp{};
        return isMissing(error) ? 0 : error;
    }
    // The stamp is taken from the open file, so a write racing the read
    // leaves a newer stamp on disk and the next check reads it again.
    struct stat info {};
    if (fstat(file.get(), &info) != 0) {
        return errno;
    }
    if (!S_ISREG(info.st_mode)) {
        return NotRegularFile;
    }
    stamp = stampFrom(info);
    const auto piece = std::make_unique_for_overwrite<char[]>(ReadPieceBytes);
    while (true) {
        const ssize_t got = read(file.get(), piece.get(), ReadPieceBytes);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (got == 0) {
            return 0;
        }
        reader.feed(std::string_view(piece.get(), static_cast<std::size_t>(got)));
    }
}

}  // namespace corvane::blocklist
