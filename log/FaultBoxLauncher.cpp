#include "log/FaultBoxLauncher.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace corvane {

namespace {

// The value of name in environment, or nullptr; getenv is not on the list of
// functions a signal handler may call.
const char* findVariable(const char* const* environment, const char* name) noexcept {
    const std::size_t length = std::strlen(name);
    for (; environment != nullptr && *environment != nullptr; ++environment) {
        const char* entry = *environment;
        if (std::strncmp(entry, name, length) == 0 && entry[length] == '=') {
            return entry + length + 1;
        }
    }
    return nullptr;
}

bool isSet(const char* value) noexcept {
    return value != nullptr && *value != '\0';
}

// The platform name ends at the first ':' (what follows are its options).
bool platformIs(const char* value, const char* platform) noexcept {
    const std::size_t length = std::strlen(platform);
    return std::strncmp(value, platform, length) == 0 &&
           (value[length] == '\0' || value[length] == ':');
}

}  // namespace

bool displayAvailable(const char* const* environment) noexcept {
    const char* platform = findVariable(environment, "QT_QPA_PLATFORM");
    if (platform != nullptr &&
        (platformIs(platform, "offscreen") || platformIs(platform, "minimal"))) {
        return false;
    }
    return isSet(findVariable(environment, "DISPLAY")) ||
           isSet(findVariable(environment, "WAYLAND_DISPLAY"));
}

bool FaultBoxLauncher::prepare(const char* helperPath) noexcept {
    ready_ = false;
    if (helperPath != nullptr) {
        const std::size_t length = std::strlen(helperPath);
        if (length == 0 || length >= sizeof path_) {
            return false;
        }
        std::memcpy(path_, helperPath, length + 1);
        ready_ = true;
        return true;
    }
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return false;
    }
    self[length] = '\0';
    return prepareForProgram(self);
}

bool FaultBoxLauncher::prepareForProgram(const char* programPath) noexcept {
    ready_ = false;
    const char* slash = std::strrchr(programPath, '/');
    if (slash == nullptr) {
        return false;
    }
    const std::size_t folderLength = static_cast<std::size_t>(slash - programPath) + 1;
    const std::size_t nameLength = std::strlen(FaultBoxProgram);
    const std::size_t installedLength = std::strlen(FaultBoxInstalledFolder);
    if (folderLength + installedLength + nameLength >= sizeof path_) {
        return false;
    }
    std::memcpy(path_, programPath, folderLength);
    // path_ becomes the program's folder, then middle, then the helper's name.
    const auto compose = [&](const char* middle, std::size_t middleLength) {
        std::memcpy(path_ + folderLength, middle, middleLength);
        std::memcpy(path_ + folderLength + middleLength, FaultBoxProgram, nameLength + 1);
    };
    compose("", 0);
    if (access(path_, X_OK) != 0) {
        compose(FaultBoxInstalledFolder, installedLength);
        if (access(path_, X_OK) != 0) {
            compose("", 0);
        }
    }
    ready_ = true;
    return true;
}

void FaultBoxLauncher::show(char* text) const noexcept {
    if (!ready_ || !displayAvailable(environ)) {
        return;
    }
    char* argv[] = {const_cast<char*>(path_), text, nullptr};
    // _Fork, unlike fork, runs no fork handlers and takes no allocator lock,
    // either of which may be held by the code that faulted.
    const pid_t child = _Fork();
    if (child < 0) {
        return;
    }
    if (child == 0) {
        // The helper must not inherit the handler's blocked signals.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execve(path_, argv, environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace corvane
