#pragma once

#include <cstdint>

#include "ui/EventCodes.h"

namespace corvane {

// The window's part in a turn of the main loop: one non-blocking poll, and the
// plain pause of a turn with nothing to do. Without a window, the poll always
// reports nothing. CloseEvent (ui/EventCodes.h) is the one result that ends
// the loop.
class WindowPoll {
public:
    virtual ~WindowPoll() = default;
    // 0 when nothing was pending; CloseEvent when the user asked to close the
    // window; any other value when something else was handled.
    virtual std::int32_t eventPoll() = 0;
    virtual void sleepMs(std::int32_t milliseconds) = 0;
    // How long the idle pause of a turn may last, at most `longest`: less when
    // the window has work of its own due sooner (a repaint), so that the work
    // is done while nothing else is waiting rather than in front of the next
    // datagram, which would otherwise be the first thing to end the pause.
    virtual std::int32_t pauseLimitMs(std::int32_t longest) { return longest; }
};

}  // namespace corvane
