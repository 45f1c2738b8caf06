#include "LoadReport.h"

#include "ListFile.h"

namespace corvane::blocklist {
namespace {

constexpr std::string_view Prefix = "blocklist plug-in: ";

std::string counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

}  // namespace

std::string readReport(std::string_view path, const ParseSummary& summary, bool blocking) {
    std::string line(Prefix);
    line.append(path).append(": ");
    line += counted(summary.lines, "line", "lines") + " read, " +
            std::to_string(summary.skippedLines) + " skipped";
    if (summary.skippedLines != 0) {
        line += " (the first is line " + std::to_string(summary.firstSkipped) + ")";
    }
    if (blocking) {
        line += "; " + counted(summary.names, "name", "names") + " to block, " +
                counted(summary.exceptions, "exception", "exceptions");
    } else {
        // The allow list's "@@" rules allow like its plain names.
        line += "; " + counted(summary.names + summary.exceptions, "name", "names") + " to allow";
    }
    return line;
}

std::string missingReport(std::string_view path) {
    std::string line(Prefix);
    line.append(path).append(": not found, so an empty list");
    return line;
}

std::string unreadableReport(std::string_view path, int error, bool keptBefore) {
    std::string line(Prefix);
    line.append("cannot read ").append(path).append(" (").append(readErrorText(error));
    line.append(keptBefore ? "); the names read from it before stay in force until it can be read"
                           : "); nothing of it is in force until it can be read");
    return line;
}

}  // namespace corvane::blocklist
