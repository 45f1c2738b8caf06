#pragma once

#include <string_view>

namespace corvane {

// Where the system reports events: one call, one time-stamped line.
// Callers pass the message only; nothing a sink does is reported back.
class Log {
public:
    virtual ~Log() = default;
    virtual void logLine(std::u16string_view message) = 0;
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
