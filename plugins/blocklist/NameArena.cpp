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
            chunks_.back().data()[used_] = 0;  // the end of the chunk's names
        }
        chunks_.emplace_back(ChunkBytes, !chunks_.empty());
        used_ = 1;
    }
    char* at = chunks_.back().data() + used_;
    at[0] = static_cast<char>(name.size());
    std::memcpy(at + 1, name.data(), name.size());
    const auto ref = static_cast<std::uint32_t>((chunks_.size() - 1) * ChunkBytes + used_);
    used_ += 1 + name.size();
    return ref;
}

}  // namespace corvane::blocklist
