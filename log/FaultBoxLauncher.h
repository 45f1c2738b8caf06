#pragma once

#include <climits>
#include <cstddef>

namespace corvane {

// The name of the helper program that shows the fault report's message box.
inline constexpr const char* FaultBoxProgram = "corvane-faultbox";

// Whether a message box could be seen by anyone: a display is named
// (DISPLAY or WAYLAND_DISPLAY, non-empty) and Qt is not told to draw on the
// offscreen or minimal platform. Without one, a box would wait for a click
// that never comes. environment: a NULL-terminated "NAME=value" list such as
// environ. Async-signal-safe.
bool displayAvailable(const char* const* environment) noexcept;

// Shows the fault report in a message box from a fresh process. A faulted
// process cannot safely run Qt (its heap and Qt's own state may be what
// broke), so the box comes from a small helper program, started with the text
// as its one argument; the faulted process waits for it to end.
class FaultBoxLauncher {
public:
    // Works out the helper's path while allocating is still allowed:
    // helperPath as given, or, for nullptr, the helper that belongs to the
    // running executable (see prepareForProgram). False when no path can be
    // formed; show() then does nothing.
    bool prepare(const char* helperPath) noexcept;

    // The helper that belongs to the program at programPath (see
    // helperPathFor in HelperProgram.h).
    bool prepareForProgram(const char* programPath) noexcept;

    // Starts the helper with text and returns once it has ended, or at once
    // when there is no display or the helper cannot be started.
    // Async-signal-safe.
    void show(char* text) const noexcept;

    const char* helperPath() const noexcept { return ready_ ? path_ : nullptr; }

private:
    char path_[PATH_MAX] = {};
    bool ready_ = false;
};

}  // namespace corvane
