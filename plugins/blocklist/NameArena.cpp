#include "NameArena.h"

#include <cstring>

namespace corvane::blocklist {

std::uint32_t NameArena::append(std::string_view name) {
    if (name.empty() || name.size() > MaxNameBytes) {
        return 0;
    }
    if (used_ + 1 + name.size() > ChunkBytes) {
        if (chunks_.size() == MaxChunks) {
            return 0;
        }
        if (used_ < ChunkBytes) {
            chunks_.back()[used_] = 0;  // the end of the chunk's names
        }
        // Left uninitialised on purpose: pages not yet written stay
        // unbacked, so a short list costs only what it fills.
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(ChunkBytes));
        used_ = 1;
    }
    char* at = chunks_.back().get() + used_;
    at[0] = static_cast<char>(name.size());
    std::memcpy(at + 1, name.data(), name.size());
    const auto ref = static_cast<std::uint32_t>((chunks_.size() - 1) * ChunkBytes + used_);
    used_ += 1 + name.size();
    return ref;
}

}  // namespace corvane::blocklist
