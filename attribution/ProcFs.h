#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "attribution/AttributionSystem.h"
#include "net/UniqueFd.h"

namespace corvane {

// The processes as /proc shows them. Every descriptor it opens is
// close-on-exec and owned by an object that closes it. A process is opened
// as its /proc directory and read only through that descriptor: once the
// process ends, reads through it fail, even when its pid is reused, so what
// is read belongs to the one process that was opened.
//
// The system decides what can be read: a process's descriptors and
// executable only by its own user or with the right to trace it
// (CAP_SYS_PTRACE, which root has).
class ProcFs {
public:
    ProcFs();
    ProcFs(const ProcFs&) = delete;
    ProcFs& operator=(const ProcFs&) = delete;

    bool listProcesses(std::vector<std::int32_t>& out);
    // The owner of the process's /proc directory: its effective user (root
    // for a process that made itself undumpable).
    std::optional<std::uint32_t> owner(std::int32_t pid);
    std::unique_ptr<ProcessView> open(std::int32_t pid);

private:
    UniqueFd proc_;
};

}  // namespace corvane
