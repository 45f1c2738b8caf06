#pragma once

#include <sys/types.h>

#include <cstddef>

namespace corvane {

// The fault report's helper programs, each started in a fresh process by the
// faulted one: what they do needs more than a signal handler may do.

// Where an installed system keeps the helpers, relative to the program's own
// folder: the program in bin/, its private files in lib/corvane/.
inline constexpr const char* InstalledHelperFolder = "../lib/corvane/";

// The path of the helper helperName that belongs to the program at
// programPath, written to out: beside the program (the build tree), else in
// InstalledHelperFolder from its folder (an installed system); when neither
// is executable, the path beside it, which then fails to start. False when no
// path can be formed: programPath without a folder, or too long for capacity.
bool helperPathFor(const char* programPath, const char* helperName, char* out,
                   std::size_t capacity) noexcept;

// The path of a helper into out: given as it is, or, for nullptr, the helper
// helperName that belongs to the running program (see helperPathFor). False
// when given is empty or does not fit, or no path can be formed.
bool chooseHelperPath(const char* given, const char* helperName, char* out,
                      std::size_t capacity) noexcept;

// Starts the helper at path with argv (argv[0] first, NULL-terminated) and
// the process's environment; its standard output goes to outputFd unless
// that is -1, and inheritedFd, unless -1, stays open in it under its number
// although it is close-on-exec here. Everything else it inherits as it
// stands, except the blocked signals of the handler, which it does not.
// Returns its pid, or -1.
// Async-signal-safe: _Fork, unlike fork, runs no fork handlers and takes no
// allocator lock, either of which may be held by the code that faulted.
pid_t startHelper(const char* path, char* const argv[], int outputFd, int inheritedFd) noexcept;

// Waits until the helper has ended. Async-signal-safe.
void awaitHelper(pid_t helper) noexcept;

}  // namespace corvane
