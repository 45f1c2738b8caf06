#pragma once

#include <cstddef>
#include <cstdint>

#include "log/FaultText.h"

struct backtrace_state;
struct dl_phdr_info;

namespace corvane {

// Where a fault happened, as the report names it: the title of the system's
// own source file (no directory, no extension) and the line in it.
struct SourcePosition {
    char file[FileTitleCapacity];
    std::uint32_t line;
};

// The position named when nothing better is known: the main file, line 0.
SourcePosition unknownSourcePosition() noexcept;

// The registers of the faulting thread that the look-up needs.
struct FaultFrame {
    std::uintptr_t pc;  // the faulting instruction
    std::uintptr_t sp;  // the stack pointer at the fault
    // Where a call through a bad function pointer would return to (the word
    // at sp on x86, the link register elsewhere); 0 when unknown.
    std::uintptr_t returnAddress;
};

// Finds, at fault time, the line of the system's own statement that was
// running, from the faulting address and the call stack, with the program's
// debug information.
//
// A frame is the system's own when its code lies in the program's executable
// (not in a shared library: the C library, Qt, a plug-in) and the debug
// information puts it in a source file under the project's source tree (not
// in a system header inlined into the program). The first such frame,
// starting from the faulting instruction and going outwards through the
// callers, names the statement: for a fault inside a library or a plug-in
// that is the statement that called into it.
//
// prepare() does everything that may allocate or read files: it reads the
// debug information once and notes where the program's code lies. locate()
// is then async-signal-safe. One instance per process; not thread-safe.
class SourceLocator {
public:
    // sourceRoot: the absolute path of the source tree; must outlive the
    // locator. False when the debug information cannot be read, in which
    // case locate() gives unknownSourcePosition().
    bool prepare(const char* sourceRoot) noexcept;

    SourcePosition locate(const FaultFrame& frame) const noexcept;

    // The look-up of one code address; pc is taken as is (a caller's return
    // address must already be moved back into its call instruction). True
    // when the address is the system's own code.
    bool lookUp(std::uintptr_t pc, SourcePosition& position) const noexcept;

private:
    struct CodeRange {
        std::uintptr_t begin;
        std::uintptr_t end;
    };
    static constexpr std::size_t MaxCodeRanges = 8;

    bool inProgramCode(std::uintptr_t pc) const noexcept;
    static int noteProgramCode(dl_phdr_info* info, std::size_t size, void* data) noexcept;

    backtrace_state* state_ = nullptr;
    const char* sourceRoot_ = nullptr;
    std::size_t sourceRootLength_ = 0;
    CodeRange codeRanges_[MaxCodeRanges] = {};
    std::size_t codeRangeCount_ = 0;
};

}  // namespace corvane
