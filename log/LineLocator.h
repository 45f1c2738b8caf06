#pragma once

#include <cstddef>
#include <cstdint>

#include "log/SourcePosition.h"

struct backtrace_state;

namespace corvane {

// Names source lines from a program's debug information, in the line
// helper's own process (never in the program that faulted).
//
// An address is the system's own statement when the debug information puts
// it in one of the system's own source files (see isOwnSource), not in a
// system header inlined into the program; of the functions inlined at that
// address, the innermost one in such a file names the line.
class LineLocator {
public:
    // programPath: the program whose debug information is read, from the
    // file itself or from the separate debug file that its build ID or debug
    // link names. sourceRoot: the absolute path of the source tree; both
    // must outlive the locator. False when libbacktrace cannot be set up.
    bool open(const char* programPath, const char* sourceRoot) noexcept;

    // offset: an address of the program's code less its load bias (see
    // FaultAddresses). True, with position set, when it is the system's own.
    bool lookUp(std::uintptr_t offset, SourcePosition& position) const noexcept;

private:
    backtrace_state* state_ = nullptr;
    const char* sourceRoot_ = nullptr;
    std::size_t sourceRootLength_ = 0;
    std::uintptr_t bias_ = 0;  // what libbacktrace adds to the program's addresses
};

}  // namespace corvane
