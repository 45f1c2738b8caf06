#include "log/HelperProgram.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

extern char** environ;

namespace corvane {

namespace {

// The running program's own file, resolved from /proc/self/exe, into out;
// false when it cannot be read or does not fit.
bool ownProgramPath(char* out, std::size_t capacity) noexcept {
    if (capacity < 2) {
        return false;
    }
    const ssize_t length = readlink("/proc/self/exe", out, capacity - 1);
    if (length <= 0 || static_cast<std::size_t>(length) >= capacity - 1) {
        return false;
    }
    out[length] = '\0';
    return true;
}

}  // namespace

bool helperPathFor(const char* programPath, const char* helperName, char* out,
                   std::size_t capacity) noexcept {
    const char* slash = std::strrchr(programPath, '/');
    if (slash == nullptr) {
        return false;
    }
    const std::size_t folderLength = static_cast<std::size_t>(slash - programPath) + 1;
    const std::size_t nameLength = std::strlen(helperName);
    const std::size_t installedLength = std::strlen(InstalledHelperFolder);
    if (folderLength + installedLength + nameLength >= capacity) {
        return false;
    }
    std::memcpy(out, programPath, folderLength);
    // out becomes the program's folder, then middle, then the helper's name.
    const auto compose = [&](const char* middle, std::size_t middleLength) {
        std::memcpy(out + folderLength, middle, middleLength);
        std::memcpy(out + folderLength + middleLength, helperName, nameLength + 1);
    };
    compose("", 0);
    if (access(out, X_OK) != 0) {
        compose(InstalledHelperFolder, installedLength);
        if (access(out, X_OK) != 0) {
            compose("", 0);
        }
    }
    return true;
}

bool chooseHelperPath(const char* given, const char* helperName, char* out,
                      std::size_t capacity) noexcept {
    if (given == nullptr) {
        char self[PATH_MAX];
        return ownProgramPath(self, sizeof self) && helperPathFor(self, helperName, out, capacity);
    }
    const std::size_t length = std::strlen(given);
    if (length == 0 || length >= capacity) {
        return false;
    }
    std::memcpy(out, given, length + 1);
    return true;
}

pid_t startHelper(const char* path, char* const argv[], int outputFd, int inheritedFd) noexcept {
    const pid_t child = _Fork();
    if (child != 0) {
        return child;
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (outputFd == STDOUT_FILENO) {
        fcntl(outputFd, F_SETFD, 0);  // dup2 onto itself would keep close-on-exec
    } else if (outputFd >= 0 && dup2(outputFd, STDOUT_FILENO) < 0) {
        _exit(127);
    }
    if (inheritedFd >= 0 && fcntl(inheritedFd, F_SETFD, 0) != 0) {
        _exit(127);
    }
    execve(path, argv, environ);
    _exit(127);
}

void awaitHelper(pid_t helper) noexcept {
    int status = 0;
    while (waitpid(helper, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace corvane
