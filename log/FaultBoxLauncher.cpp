#include "log/FaultBoxLauncher.h"

#include <cstring>

#include "log/HelperProgram.h"

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
    ready_ = chooseHelperPath(helperPath, FaultBoxProgram, path_, sizeof path_);
    return ready_;
}

bool FaultBoxLauncher::prepareForProgram(const char* programPath) noexcept {
    ready_ = helperPathFor(programPath, FaultBoxProgram, path_, sizeof path_);
    return ready_;
}

void FaultBoxLauncher::show(char* text) const noexcept {
    if (!ready_ || !displayAvailable(environ)) {
        return;
    }
    char* argv[] = {const_cast<char*>(path_), text, nullptr};
    const pid_t child = startHelper(path_, argv, -1, -1);
    if (child > 0) {
        awaitHelper(child);
    }
}

}  // namespace corvane
