#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane {

// A process that asked recently, and where it held its socket then.
struct RecentProcess {
    std::int32_t pid = 0;
    std::uint64_t startTime = 0;  // with the pid, names this one process
    std::uint32_t uid = 0;        // the owner of the socket it was found by
    std::string program;
    int descriptor = -1;
};

// The processes found asking, the most recent first, a few at most. A
// program that asks once asks again: the C library opens a new socket for
// nearly every query, and mostly under the same descriptor number, so these
// are the processes to look in first, and that descriptor the first place.
class RecentProcesses {
public:
    explicit RecentProcesses(std::size_t capacity) : capacity_(capacity) {}

    // Most recent first.
    const std::vector<RecentProcess>& inOrder() const { return processes_; }
    // The entry for this pid and start time; null for another process, even
    // one with the same pid.
    const RecentProcess* find(std::int32_t pid, std::uint64_t startTime) const;
    // Puts the process first, replacing any entry of the same pid; the
    // least recent falls out when more than the capacity are known.
    void note(const RecentProcess& process);

private:
    std::vector<RecentProcess> processes_;
    std::size_t capacity_;
};

}  // namespace corvane
