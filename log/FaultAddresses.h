#pragma once

#include <cstddef>
#include <cstdint>

struct dl_phdr_info;

namespace corvane {

// The registers of the faulting thread that the look-up needs.
struct FaultFrame {
    std::uintptr_t pc;  // the faulting instruction
    std::uintptr_t sp;  // the stack pointer at the fault
    // Where a call through a bad function pointer would return to (the word
    // at sp on x86, the link register elsewhere); 0 when unknown.
    std::uintptr_t returnAddress;
};

// The code addresses that may name the faulting statement, innermost first,
// as offsets into the program's file: the address less the program's load
// bias, which is what the file's debug information speaks of, so that
// another process can look them up there.
struct FaultAddresses {
    // The frames of one walk, and the return address of a bad call.
    static constexpr std::size_t Capacity = 257;
    std::uintptr_t offsets[Capacity];
    std::size_t count;
};

// The program's own code in memory: the code segments of the executable
// itself (not of a shared library: the C library, Qt, a plug-in), noted at
// registration, and at fault time the addresses of the faulting stack that
// lie in them. Holds no debug information: naming the line is left to the
// line helper (FaultLineLookup.h).
class ProgramCode {
public:
    // Notes where the executable's code lies and runs the unwinder once, so
    // that the fault handler is never the first to fill its caches. Not
    // async-signal-safe.
    void note() noexcept;

    // Every frame of the faulting stack that lies in the program's code, from
    // the faulting instruction outwards through the callers (a caller's
    // return address moved back into its call instruction); then, when the
    // fault is outside the program's code, the return address of a call
    // through a bad function pointer, which leaves a frame the unwinder
    // cannot read. Async-signal-safe.
    void collect(const FaultFrame& frame, FaultAddresses& out) const noexcept;

private:
    struct CodeRange {
        std::uintptr_t begin;
        std::uintptr_t end;
    };
    static constexpr std::size_t MaxCodeRanges = 8;

    bool inProgramCode(std::uintptr_t pc) const noexcept;
    void add(std::uintptr_t pc, FaultAddresses& out) const noexcept;
    static int noteProgramCode(dl_phdr_info* info, std::size_t size, void* data) noexcept;

    std::uintptr_t loadBias_ = 0;
    CodeRange codeRanges_[MaxCodeRanges] = {};
    std::size_t codeRangeCount_ = 0;
};

}  // namespace corvane
