#include "attribution/ProcFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <limits>
#include <string>

namespace corvane {

namespace {

// Longer than any "socket:[inode]"; a longer target is something else.
constexpr std::size_t DescriptorLinkArea = 64;
// A path the kernel gives for an executable, with " (deleted)" on top.
constexpr std::size_t ExecutableLinkArea = 4096 + 64;
// stat is a few hundred bytes, comm at most 16.
constexpr std::size_t TextFileLimit = 4096;

struct DirectoryCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

// The directory at name under parent, for reading its entries.
Directory openDirectory(int parent, const char* name) {
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    Directory directory(::fdopendir(fd));
    if (!directory) {
        ::close(fd);
    }
    return directory;
}

// The entries of a directory that are decimal numbers (pids, descriptors).
template <typename Number>
bool readNumberedEntries(Directory directory, std::vector<Number>& out) {
    out.clear();
    if (!directory) {
        return false;
    }
    errno = 0;
    while (const dirent* entry = ::readdir(directory.get())) {
        const std::string_view name = entry->d_name;
        Number number{};
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
        if (error == std::errc{} && end == name.data() + name.size() && number >= 0) {
            out.push_back(number);
        }
        errno = 0;
    }
    return errno == 0;
}

bool readLink(int directory, const char* name, std::size_t area, std::string& out) {
    out.resize(area);
    const ssize_t length = ::readlinkat(directory, name, out.data(), area);
    if (length < 0 || static_cast<std::size_t>(length) >= area) {
        out.clear();
        return false;
    }
    out.resize(static_cast<std::size_t>(length));
    return true;
}

bool readTextFile(int directory, const char* name, std::string& out) {
    out.clear();
    const UniqueFd file(::openat(directory, name, O_RDONLY | O_CLOEXEC));
    if (!file) {
        return false;
    }
    std::array<char, 512> chunk;
    while (out.size() < TextFileLimit) {
        const ssize_t length = ::read(file.get(), chunk.data(), chunk.size());
        if (length < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (length == 0) {
            return true;
        }
        out.append(chunk.data(), static_cast<std::size_t>(length));
    }
    return true;
}

// A process opened as its /proc directory.
class ProcProcess final : public ProcessView {
public:
    explicit ProcProcess(UniqueFd directory) : directory_(std::move(directory)) {}

    bool descriptorLink(int fd, std::string& out) override {
        if (!descriptorDirectory_) {
            descriptorDirectory_.reset(
                ::openat(directory_.get(), "fd", O_PATH | O_DIRECTORY | O_CLOEXEC));
            if (!descriptorDirectory_) {
                return false;
            }
        }
        std::array<char, 16> name{};
        std::to_chars(name.data(), name.data() + name.size() - 1, fd);
        return readLink(descriptorDirectory_.get(), name.data(), DescriptorLinkArea, out);
    }

    bool descriptors(std::vector<int>& out) override {
        return readNumberedEntries(openDirectory(directory_.get(), "fd"), out);
    }

    bool statText(std::string& out) override { return readTextFile(directory_.get(), "stat", out); }

    bool executableLink(std::string& out) override {
        return readLink(directory_.get(), "exe", ExecutableLinkArea, out);
    }

    bool commandText(std::string& out) override {
        return readTextFile(directory_.get(), "comm", out);
    }

private:
    UniqueFd directory_;
    UniqueFd descriptorDirectory_;  // opened at the first link read
};

std::array<char, 16> pidName(std::int32_t pid) {
    std::array<char, 16> name{};
    std::to_chars(name.data(), name.data() + name.size() - 1, pid);
    return name;
}

}  // namespace

ProcFs::ProcFs() : proc_(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

bool ProcFs::listProcesses(std::vector<std::int32_t>& out) {
    return proc_ && readNumberedEntries(openDirectory(proc_.get(), "."), out);
}

std::optional<std::uint32_t> ProcFs::owner(std::int32_t pid) {
    struct stat status {};
    if (!proc_ || ::fstatat(proc_.get(), pidName(pid).data(), &status, 0) != 0) {
        return std::nullopt;
    }
    return status.st_uid;
}

std::unique_ptr<ProcessView> ProcFs::open(std::int32_t pid) {
    if (!proc_ || pid <= 0) {
        return nullptr;
    }
    UniqueFd directory(
        ::openat(proc_.get(), pidName(pid).data(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!directory) {
        return nullptr;
    }
    return std::make_unique<ProcProcess>(std::move(directory));
}

}  // namespace corvane
