#pragma once

#include <string_view>

namespace corvane {

// A program started with more rights than its user (the package's file
// capability on port 53, a set-user-ID bit) runs in the C library's secure
// mode, which drops the loader's variables. Qt and the libraries below it
// read many more: plug-in folders, driver folders, modules to load. Each
// would let the user run code of their own with the program's rights. In
// secure mode the program therefore keeps only what it needs to reach the
// user's session and speak its language, before Qt starts.

// Whether the entry ("NAME=value") of an environment stays in secure mode:
// the display (DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_SESSION_TYPE), the
// session's runtime folder (XDG_RUNTIME_DIR), the home folder (where X looks
// for its cookie), the locale (LANG, LANGUAGE, LC_*), the time zone (TZ),
// PATH, and QT_QPA_PLATFORM when it names a platform alone, without options.
// Everything else goes, every other QT_ variable among it.
bool keptInSecureMode(std::string_view entry);

// In secure mode, removes every variable that keptInSecureMode does not keep
// from the process's environment; outside it, does nothing. Call it first in
// main, before anything reads the environment or starts a thread.
void restrictEnvironmentInSecureMode();

}  // namespace corvane
