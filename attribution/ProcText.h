#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Readers of the texts a process's /proc entries give. The texts come from
// the system, but parts of them are the process's own choice (its comm, the
// name of its executable), so every reader takes whatever bytes it is given.

// The process's start time, field 22 of its stat line, in clock ticks since
// boot: with the pid, it names one process for as long as the machine runs,
// since a reused pid comes with a later start. The second field (comm, in
// parentheses) may hold any byte, ')' and spaces included, so the fields are
// counted from the last ')'. None when the text is not a stat line.
std::optional<std::uint64_t> startTimeFromStat(std::string_view stat);

// The link target a descriptor of socket inode has: "socket:[inode]".
std::string socketLinkText(std::uint64_t inode);

// The program's name: the file name of its executable (the link target of
// exe, without the " (deleted)" the kernel adds to a program replaced or
// removed on disk while it runs), else its comm without the newline. Empty
// when neither gives one.
std::string programName(std::string_view executableLink, std::string_view comm);

// The two rules on their own.
std::string_view executableFileName(std::string_view executableLink);
std::string_view commandName(std::string_view comm);

}  // namespace corvane
