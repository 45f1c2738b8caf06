#include "PageBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace corvane::blocklist {
namespace {

std::size_t roundUp(std::size_t value, std::size_t multiple) {
    return (value + multiple - 1) / multiple * multiple;
}

void unmap(char* at, std::size_t bytes) {
    if (bytes != 0) {
        munmap(at, bytes);
    }
}

}  // namespace

PageBuffer::PageBuffer(std::size_t bytes, bool large) {
    if (bytes == 0) {
        return;
    }
    const auto pageBytes = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    mapped_ = roundUp(bytes, pageBytes);
    // Room to slide the start to a huge-page boundary; what is left over on
    // either side is handed back at once.
    const std::size_t slack = large ? HugePageBytes - pageBytes : 0;
    void* const map =
        mmap(nullptr, mapped_ + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) {
        mapped_ = 0;
        throw std::bad_alloc();
    }
    char* const start = static_cast<char*>(map);
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    data_ = large ? start + (roundUp(address, HugePageBytes) - address) : start;
    unmap(start, static_cast<std::size_t>(data_ - start));
    unmap(data_ + mapped_, static_cast<std::size_t>(start + mapped_ + slack - (data_ + mapped_)));
    if (large) {
        // Only advice: where the kernel has no huge pages to give, the
        // buffer works the same with small ones.
        madvise(data_, mapped_, MADV_HUGEPAGE);
    }
}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
    if (this != &other) {
        unmap(data_, mapped_);
        data_ = std::exchange(other.data_, nullptr);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

PageBuffer::~PageBuffer() {
    unmap(data_, mapped_);
}

}  // namespace corvane::blocklist
