#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// Who asked a query (attribution/ClientEndpoint.h, attribution/Asker.h): the
// log carries them from the query path to the window and reads nothing of
// them.
struct ClientKey;
struct Asker;

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
    // A line about one query, with who asked it: the client, and what is
    // known of the process behind it. The line's text is logLine's, byte for
    // byte, in the view and in the file; the asker goes to the view alone,
    // which shows it on demand. An asker not settled yet is completed by
    // askerSettled, by the client's key.
    virtual void queryLine(std::u16string_view message, const ClientKey& /*client*/,
                           const Asker& /*asker*/) {
        logLine(message);
    }
    // The lookup of client, which lines given with an unsettled asker wait
    // for, settled.
    virtual void askerSettled(const ClientKey& /*client*/, const Asker& /*asker*/) {}

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
    // The same line, with who asked the query it is about (Log::queryLine).
    virtual void appendQueryLine(std::u16string_view line, const ClientKey& /*client*/,
                                 const Asker& /*asker*/) {
        appendLine(line);
    }
    virtual void askerSettled(const ClientKey& /*client*/, const Asker& /*asker*/) {}
};

}  // namespace corvane
