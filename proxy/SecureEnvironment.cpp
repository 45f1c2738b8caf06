#include "proxy/SecureEnvironment.h"

#include <stdlib.h>
#include <sys/auxv.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

extern char** environ;

namespace corvane {

namespace {

// Each kept for what it names, never for code to load: a socket or a cookie
// file of the user's session, a language, a zone. glibc itself refuses
// locale and zone files outside the system's folders in secure mode.
constexpr std::array<std::string_view, 10> KeptNames = {
    "DISPLAY",
    "XAUTHORITY",
    "WAYLAND_DISPLAY",
    "XDG_SESSION_TYPE",
    "XDG_RUNTIME_DIR",
    "HOME",
    "LANG",
    "LANGUAGE",
    "TZ",
    "PATH",
};

constexpr std::string_view LocalePrefix = "LC_";
constexpr std::string_view PlatformName = "QT_QPA_PLATFORM";

// A platform is found among the plug-ins installed with Qt, by its name;
// options after ':' may name files, and are not needed to pick one.
bool isBarePlatformName(std::string_view value) {
    return !value.empty() && std::all_of(value.begin(), value.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '_' || c == ';';
    });
}

}  // namespace

bool keptInSecureMode(std::string_view entry) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos || equals == 0) {
        return false;
    }
    const std::string_view name = entry.substr(0, equals);
    const std::string_view value = entry.substr(equals + 1);
    if (name == PlatformName) {
        return isBarePlatformName(value);
    }
    if (name.starts_with(LocalePrefix) && name.size() > LocalePrefix.size()) {
        return true;
    }
    return std::find(KeptNames.begin(), KeptNames.end(), name) != KeptNames.end();
}

void restrictEnvironmentInSecureMode() {
    if (::getauxval(AT_SECURE) == 0) {
        return;
    }
    // The environment is rebuilt from the entries kept, so that nothing
    // else survives, not even an entry getenv could not name.
    std::vector<std::string> kept;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        if (keptInSecureMode(*entry)) {
            kept.emplace_back(*entry);
        }
    }
    ::clearenv();
    for (const std::string& entry : kept) {
        const std::size_t equals = entry.find('=');
        ::setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
    }
}

}  // namespace corvane
