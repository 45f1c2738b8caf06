#include "log/FaultAddresses.h"

#include <elf.h>
#include <link.h>
#include <unwind.h>

namespace corvane {

namespace {

// Frames read from the faulting stack. The first frame of the system's own
// code lies within a few frames of the fault, even when the fault is deep in
// a library; a runaway recursion must not make the walk run the whole stack.
constexpr std::size_t MaxFrames = FaultAddresses::Capacity - 1;

struct StackWalk {
    std::uintptr_t pcs[MaxFrames];
    std::size_t count;
};

_Unwind_Reason_Code collectFrame(_Unwind_Context* context, void* data) {
    auto* walk = static_cast<StackWalk*>(data);
    int beforeInstruction = 0;
    std::uintptr_t pc = _Unwind_GetIPInfo(context, &beforeInstruction);
    // A caller's return address lies after its call; moved back into the
    // call it names the calling statement. The interrupted frame's address
    // is the faulting instruction itself, and stays as it is.
    if (beforeInstruction == 0 && pc != 0) {
        --pc;
    }
    walk->pcs[walk->count++] = pc;
    return walk->count == MaxFrames ? _URC_END_OF_STACK : _URC_NO_REASON;
}

}  // namespace

void ProgramCode::note() noexcept {
    codeRangeCount_ = 0;
    dl_iterate_phdr(&ProgramCode::noteProgramCode, this);
    StackWalk walk{};
    _Unwind_Backtrace(collectFrame, &walk);
}

int ProgramCode::noteProgramCode(dl_phdr_info* info, std::size_t, void* data) noexcept {
    // The program itself comes first in the list, before every shared object.
    auto* self = static_cast<ProgramCode*>(data);
    self->loadBias_ = info->dlpi_addr;
    for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD || (header.p_flags & PF_X) == 0 ||
            self->codeRangeCount_ == MaxCodeRanges) {
            continue;
        }
        const std::uintptr_t begin = info->dlpi_addr + header.p_vaddr;
        self->codeRanges_[self->codeRangeCount_++] = {begin, begin + header.p_memsz};
    }
    return 1;
}

bool ProgramCode::inProgramCode(std::uintptr_t pc) const noexcept {
    for (std::size_t i = 0; i < codeRangeCount_; ++i) {
        if (pc >= codeRanges_[i].begin && pc < codeRanges_[i].end) {
            return true;
        }
    }
    return false;
}

void ProgramCode::add(std::uintptr_t pc, FaultAddresses& out) const noexcept {
    if (inProgramCode(pc) && out.count < FaultAddresses::Capacity) {
        out.offsets[out.count++] = pc - loadBias_;
    }
}

void ProgramCode::collect(const FaultFrame& frame, FaultAddresses& out) const noexcept {
    out.count = 0;
    // The walk starts in the handler; the faulting frame is the one whose
    // address is exactly the faulting instruction.
    StackWalk walk{};
    _Unwind_Backtrace(collectFrame, &walk);
    std::size_t first = 0;
    while (first < walk.count && walk.pcs[first] != frame.pc) {
        ++first;
    }
    if (first == walk.count) {
        // The unwinder did not get past the signal frame: the faulting
        // instruction is all there is.
        add(frame.pc, out);
    }
    for (std::size_t i = first; i < walk.count; ++i) {
        add(walk.pcs[i], out);
    }
    if (!inProgramCode(frame.pc) && frame.returnAddress != 0) {
        add(frame.returnAddress - 1, out);
    }
}

}  // namespace corvane
