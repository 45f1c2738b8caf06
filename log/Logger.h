#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/Clock.h"
#include "log/Log.h"
#include "log/LogFile.h"

namespace corvane {

// The program's log: every line is the time of day, "hh:ii:ss | ", then the
// message, its control characters written as "\xHH" so that a line stays one
// line (see LineText.h). It goes to the window's view first (when one is
// set), then to the log file as UTF-8 followed by CR LF. The file is opened
// at the first line, and again at every later line for as long as opening
// fails.
//
// The file's buffer holds lines back; they are written out within
// WriteOutDelayMs of the first one that waits (see Log), so that the file
// follows the program closely without a system call per line.
//
// Steady state costs no allocation and no system call per line beyond the
// file's buffered writes: the line buffers are members reused from call to
// call. Does not own the clock or the view. Main thread only.
class Logger final : public Log {
public:
    static constexpr std::int32_t WriteOutDelayMs = 1000;

    Logger(const Clock& clock, std::string filePath);

    // The view that sees each line before the file; nullptr for none.
    void setView(LogView* view) { view_ = view; }

    void logLine(std::u16string_view message) override;
    void queryLine(std::u16string_view message, const ClientKey& client,
                   const Asker& asker) override;
    void askerSettled(const ClientKey& client, const Asker& asker) override;
    std::int32_t msUntilWriteOut() const override;
    void writeOutDue() override;

private:
    // The line to the view (with its asker when there is one) and the file.
    void writeLine(std::u16string_view message, const ClientKey* client, const Asker* asker);

    const Clock& clock_;
    LogFile file_;
    LogView* view_ = nullptr;
    std::u16string line_;
    std::string utf8_;
    // The time prefix of the last line and the reading it was made for:
    // lines come many to a second.
    std::u16string prefix_;
    std::int64_t prefixSeconds_ = 0;
    // Since when bytes wait in the file's buffer (the clock's monotonicMs);
    // valid while holding_.
    bool holding_ = false;
    std::int64_t heldSinceMs_ = 0;
};

}  // namespace corvane
