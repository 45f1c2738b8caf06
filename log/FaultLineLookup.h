#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

#include "log/FaultAddresses.h"
#include "log/SourcePosition.h"

namespace corvane {

// The name of the helper program that names the faulting line.
inline constexpr const char* FaultLineProgram = "corvane-faultline";

// How long the faulted process waits for the line helper's answer. Reading
// the debug information takes well under a second; the limit is only there
// so that a helper that hangs cannot keep the faulted process from ending.
inline constexpr int FaultLineTimeoutMs = 20000;

// Names the faulting statement's line from another process. The program's
// debug information (tens of megabytes of line tables) is read only after a
// fault, by the line helper, from the program's file: the running program
// never holds it.
//
// The helper is started as
//     corvane-faultline PROGRAM SOURCE-ROOT OFFSET...
// with the candidate addresses as hexadecimal offsets into PROGRAM (see
// FaultAddresses), innermost first. PROGRAM is the running program's own
// file, held open from registration and handed down as /proc/self/fd/N:
// by its name, a file replaced while the program runs (an upgrade) or
// removed would have the helper read another build's debug information, or
// none, and name a wrong line. It writes the position of the first one
// that lies in a source file under SOURCE-ROOT, as one answer (see
// SourcePosition.h) on its standard output, or nothing.
class FaultLineLookup {
public:
    FaultLineLookup() = default;
    ~FaultLineLookup();
    FaultLineLookup(const FaultLineLookup&) = delete;
    FaultLineLookup& operator=(const FaultLineLookup&) = delete;

    // Opens the program's file and works out, while allocating is still
    // allowed, the helper: helperPath as given, or for nullptr the one that belongs to
    // the running program (see helperPathFor). sourceRoot must outlive the
    // lookup. False when a path cannot be formed; locate() then gives
    // unknownSourcePosition().
    bool prepare(const char* helperPath, const char* sourceRoot) noexcept;

    // Starts the helper, waits at most FaultLineTimeoutMs for its answer and
    // gives the position it names, or unknownSourcePosition() when it names
    // none, cannot be started, or does not answer in time. Async-signal-safe;
    // not reentrant (the helper's arguments are kept in the object).
    SourcePosition locate(const FaultAddresses& addresses) noexcept;

private:
    static constexpr std::size_t OffsetDigits = 2 * sizeof(std::uintptr_t);
    // The helper's path, the program, the source root, the offsets, NULL.
    static constexpr std::size_t FixedArguments = 3;

    void fillArguments(const FaultAddresses& addresses) noexcept;

    char helper_[PATH_MAX] = {};
    int programFd_ = -1;  // the program's file, owned
    char program_[sizeof "/proc/self/fd/" + 10] = {};
    const char* sourceRoot_ = nullptr;
    bool ready_ = false;
    char offsetText_[FaultAddresses::Capacity][OffsetDigits + 1] = {};
    char* argv_[FixedArguments + FaultAddresses::Capacity + 1] = {};
};

}  // namespace corvane
