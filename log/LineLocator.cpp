#include "log/LineLocator.h"

#include <backtrace.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstring>

namespace corvane {

namespace {

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
    if (!isOwnSource(filename, match->sourceRoot, match->sourceRootLength)) {
        return 0;
    }
    fileTitleOf(filename, match->position->file, sizeof match->position->file);
    match->position->line = static_cast<std::uint32_t>(lineno);
    match->found = true;
    return 1;
}

int noteOwnBias(dl_phdr_info* info, std::size_t, void* data) {
    // The helper itself comes first in the list, before every shared object.
    *static_cast<std::uintptr_t*>(data) = info->dlpi_addr;
    return 1;
}

// Whether the program is position-independent (ET_DYN); a file that cannot
// be read as ELF counts as not, and then names no line anyway.
bool isPositionIndependent(const char* programPath) {
    const int fd = ::open(programPath, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ElfW(Ehdr) header{};
    const bool read = ::read(fd, &header, sizeof header) == static_cast<ssize_t>(sizeof header);
    ::close(fd);
    return read && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_type == ET_DYN;
}

}  // namespace

bool LineLocator::open(const char* programPath, const char* sourceRoot) noexcept {
    sourceRoot_ = sourceRoot;
    sourceRootLength_ = std::strlen(sourceRoot);
    while (sourceRootLength_ > 0 && sourceRoot[sourceRootLength_ - 1] == '/') {
        --sourceRootLength_;
    }
    // libbacktrace takes the file it is given for this process's executable:
    // a position-independent program's code is placed where the helper's own
    // would be, at the helper's load bias; a position-dependent one at its
    // own addresses.
    if (isPositionIndependent(programPath)) {
        dl_iterate_phdr(noteOwnBias, &bias_);
    }
    state_ = backtrace_create_state(programPath, 0, ignoreError, nullptr);
    return state_ != nullptr;
}

bool LineLocator::lookUp(std::uintptr_t offset, SourcePosition& position) const noexcept {
    if (state_ == nullptr) {
        return false;
    }
    LineMatch match{sourceRoot_, sourceRootLength_, &position, false};
    backtrace_pcinfo(state_, offset + bias_, matchLine, ignoreError, &match);
    return match.found;
}

}  // namespace corvane
