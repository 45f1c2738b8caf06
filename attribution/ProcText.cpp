#include "attribution/ProcText.h"

#include <limits>

namespace corvane {

namespace {

// Fields after the comm start with the state, field 3; the start time is
// field 22.
constexpr int FieldsBeforeStartTime = 22 - 3;

constexpr std::string_view DeletedSuffix = " (deleted)";

std::optional<std::uint64_t> readDecimal(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

std::optional<std::uint64_t> startTimeFromStat(std::string_view stat) {
    const std::size_t close = stat.rfind(')');
    if (close == std::string_view::npos || close + 1 >= stat.size() || stat[close + 1] != ' ') {
        return std::nullopt;
    }
    std::string_view rest = stat.substr(close + 2);
    for (int field = 0; field < FieldsBeforeStartTime; ++field) {
        const std::size_t space = rest.find(' ');
        if (space == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(space + 1);
    }
    return readDecimal(rest.substr(0, rest.find_first_of(" \n")));
}

std::string socketLinkText(std::uint64_t inode) {
    return "socket:[" + std::to_string(inode) + "]";
}

std::string_view executableFileName(std::string_view executableLink) {
    std::string_view path = executableLink;
    if (path.ends_with(DeletedSuffix)) {
        path.remove_suffix(DeletedSuffix.size());
    }
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view commandName(std::string_view comm) {
    if (comm.ends_with('\n')) {
        comm.remove_suffix(1);
    }
    return comm;
}

std::string programName(std::string_view executableLink, std::string_view comm) {
    const std::string_view fromExecutable = executableFileName(executableLink);
    return std::string(fromExecutable.empty() ? commandName(comm) : fromExecutable);
}

}  // namespace corvane
