#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "PageBuffer.h"

namespace corvane::blocklist {

// Where the names of a set live: end to end, each behind its length byte, in
// chunks of 2 MiB that are never moved or regrown. A list of a million names
// thus never has two copies of its names in memory while it is read, and
// the unused end of the last chunk is never touched, so it costs no
// resident memory. Every chunk after the first is one huge page where the
// kernel has them: a list that fills one chunk is long enough for it. A name
// is known by a 32-bit reference, never 0.
class NameArena {
public:
    static constexpr std::size_t ChunkBytes = PageBuffer::HugePageBytes;
    static constexpr std::size_t MaxChunks = 2048;  // references stay within 32 bits
    static constexpr std::size_t MaxNameBytes = 255;

    // Copies name (1..MaxNameBytes bytes) in; 0 when the arena is full.
    std::uint32_t append(std::string_view name);

    std::string_view name(std::uint32_t ref) const {
        const char* at = chunks_[ref / ChunkBytes].data() + ref % ChunkBytes;
        return {at + 1, static_cast<unsigned char>(at[0])};
    }

    // Calls visit(ref, name) for every name, in the order they were added.
    template <typename Visit>
    void forEach(Visit visit) const;

    // Bytes allocated for chunks, touched or not.
    std::size_t bytes() const { return chunks_.size() * ChunkBytes; }

private:
    std::vector<PageBuffer> chunks_;
    std::size_t used_ = ChunkBytes;  // in the last chunk; full before the first
};

template <typename Visit>
void NameArena::forEach(Visit visit) const {
    // Every chunk starts at offset 1 (so that no reference is 0) and ends at
    // a zero length byte or at its last byte: names are never empty.
    for (std::size_t chunk = 0; chunk < chunks_.size(); ++chunk) {
        const std::size_t end = chunk + 1 == chunks_.size() ? used_ : ChunkBytes;
        const char* base = chunks_[chunk].data();
        for (std::size_t at = 1; at < end && base[at] != 0;) {
            const std::size_t length = static_cast<unsigned char>(base[at]);
            visit(static_cast<std::uint32_t>(chunk * ChunkBytes + at),
                  std::string_view(base + at + 1, length));
            at += 1 + length;
        }
    }
}

}  // namespace corvane::blocklist
