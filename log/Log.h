#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// Where the system reports events: one call, one time-stamped line.
// Callers pass the message only; nothing a sink does is reported back.
//
// A sink may hold lines back for a moment before they reach their place (the
// log file writes in blocks). The main loop asks how long it may wait, ends
// its idle waits in time, and has the held lines written out once they are
// due.
class Log {
public:
    // What msUntilWriteOut says when no line is held.
    static constexpr std::int32_t NothingHeld = -1;

    virtual ~Log() = default;
    virtual void logLine(std::u16string_view message) = 0;

    // Milliseconds until the held lines are due to be written out, 0 when
    // they are due now; NothingHeld when no line is held.
    virtual std::int32_t msUntilWriteOut() const { return NothingHeld; }
    // Writes out the held lines if they are due; cheap when none are held.
    virtual void writeOutDue() {}
};

// The window's log view, as the logger sees it. The logger hands every line
// (time prefix included) to the view before writing it to the file; the view
// keeps only the most recent lines. Implemented by the UI; absent when there
// is no window.
class LogView {
public:
    virtual ~LogView() = default;
    virtual void appendLine(std::u16string_view line) = 0;
};

}  // namespace corvane
