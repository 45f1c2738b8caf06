#pragma once

#include <cstdint>

#include "ui/EventCodes.h"

namespace corvane {

// The window's part in a turn of the main loop: one non-blocking poll, and the
// wait of a turn with nothing to do. Without a window, the poll always
// reports nothing. CloseEvent (ui/EventCodes.h) is the one result that ends
// the loop.
class WindowPoll {
public:
    // No deadline for waitIdle.
    static constexpr std::int32_t NoDeadline = -1;

    virtual ~WindowPoll() = default;
    // 0 when nothing was pending; CloseEvent when the user asked to close the
    // window; any other value when something else was handled.
    virtual std::int32_t eventPoll() = 0;
    // The pause of an idle turn: sleeps until `descriptor` (the network's,
    // -1 for none) is readable, the window has something to handle or work of
    // its own due (a repaint), or `timeoutMs` have passed, whichever comes
    // first. What the window receives meanwhile comes out of later polls.
    virtual void waitIdle(int descriptor, std::int32_t timeoutMs) = 0;
};

}  // namespace corvane
