#include "log/SourceLocator.h"

#include <backtrace.h>
#include <elf.h>
#include <link.h>

#include <cstring>

namespace corvane {

namespace {

// Frames read from the faulting stack. The first frame of the system's own
// code lies within a few frames of the fault, even when the fault is deep in
// a library; a runaway recursion must not make the walk run the whole stack.
constexpr std::size_t MaxFrames = 256;

struct StackWalk {
    std::uintptr_t pcs[MaxFrames];
    std::size_t count;
};

int collectFrame(void* data, std::uintptr_t pc) {
    auto* walk = static_cast<StackWalk*>(data);
    walk->pcs[walk->count++] = pc;
    return walk->count == MaxFrames ? 1 : 0;
}

// A fault report has nowhere to send the look-up's own errors: an address
// that cannot be resolved simply does not name a position.
void ignoreError(void*, const char*, int) {}

struct LineMatch {
    const char* sourceRoot;
    std::size_t sourceRootLength;
    SourcePosition* position;
    bool found;
};

// Called for the innermost inlined function first, then outwards; the first
// one in a file of the source tree names the statement.
int matchLine(void* data, std::uintptr_t, const char* filename, int lineno, const char*) {
    auto* match = static_cast<LineMatch*>(data);
    if (filename == nullptr || lineno <= 0) {
        return 0;
    }
    if (std::strncmp(filename, match->sourceRoot, match->sourceRootLength) != 0 ||
        filename[match->sourceRootLength] != '/') {
        return 0;
    }
    fileTitleOf(filename, match->position->file, sizeof match->position->file);
    match->position->line = static_cast<std::uint32_t>(lineno);
    match->found = true;
    return 1;
}

}  // namespace

SourcePosition unknownSourcePosition() noexcept {
    SourcePosition position{};
    std::memcpy(position.file, "Corvane", sizeof "Corvane");
    position.line = 0;
    return position;
}

bool SourceLocator::prepare(const char* sourceRoot) noexcept {
    sourceRoot_ = sourceRoot;
    sourceRootLength_ = std::strlen(sourceRoot);
    while (sourceRootLength_ > 0 && sourceRoot[sourceRootLength_ - 1] == '/') {
        --sourceRootLength_;
    }
    codeRangeCount_ = 0;
    dl_iterate_phdr(&SourceLocator::noteProgramCode, this);

    // Not threaded: the look-up runs only in the fault handler, after every
    // other use here, and the unthreaded state allocates with mmap alone.
    state_ = backtrace_create_state(nullptr, 0, ignoreError, nullptr);
    if (state_ == nullptr) {
        return false;
    }
    // Read the debug information and run the unwinder once now, so that the
    // fault handler is never the first to open files or fill caches.
    StackWalk walk{};
    backtrace_simple(state_, 0, collectFrame, ignoreError, &walk);
    SourcePosition probe{};
    return lookUp(reinterpret_cast<std::uintptr_t>(&unknownSourcePosition), probe);
}

int SourceLocator::noteProgramCode(dl_phdr_info* info, std::size_t, void* data) noexcept {
    // The program itself comes first in the list, before every shared object.
    auto* self = static_cast<SourceLocator*>(data);
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

bool SourceLocator::inProgramCode(std::uintptr_t pc) const noexcept {
    for (std::size_t i = 0; i < codeRangeCount_; ++i) {
        if (pc >= codeRanges_[i].begin && pc < codeRanges_[i].end) {
            return true;
        }
    }
    return false;
}

bool SourceLocator::lookUp(std::uintptr_t pc, SourcePosition& position) const noexcept {
    if (state_ == nullptr || !inProgramCode(pc)) {
        return false;
    }
    LineMatch match{sourceRoot_, sourceRootLength_, &position, false};
    backtrace_pcinfo(state_, pc, matchLine, ignoreError, &match);
    return match.found;
}

SourcePosition SourceLocator::locate(const FaultFrame& frame) const noexcept {
    SourcePosition position = unknownSourcePosition();
    if (state_ == nullptr) {
        return position;
    }
    // The walk starts in the handler; the faulting frame is the one whose
    // address is exactly the faulting instruction (the unwinder does not move
    // it back as it does the return addresses of callers).
    StackWalk walk{};
    backtrace_simple(state_, 0, collectFrame, ignoreError, &walk);
    std::size_t first = 0;
    while (first < walk.count && walk.pcs[first] != frame.pc) {
        ++first;
    }
    if (first == walk.count) {
        // The unwinder did not get past the signal frame: the faulting
        // instruction is all there is.
        if (lookUp(frame.pc, position)) {
            return position;
        }
    } else {
        for (std::size_t i = first; i < walk.count; ++i) {
            if (lookUp(walk.pcs[i], position)) {
                return position;
            }
        }
    }
    // A call through a bad function pointer leaves a frame the unwinder cannot
    // read; its return address still names the calling statement.
    if (!inProgramCode(frame.pc) && frame.returnAddress != 0 &&
        lookUp(frame.returnAddress - 1, position)) {
        return position;
    }
    return unknownSourcePosition();
}

}  // namespace corvane
