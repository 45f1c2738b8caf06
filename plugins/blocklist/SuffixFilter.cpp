#include "SuffixFilter.h"

#include <algorithm>

namespace corvane::blocklist {
namespace {

// Callers count every suffix of every name, shared parents again each time,
// so a distinct hash gets more than this on average.
constexpr std::size_t BitsPerHash = 8;

// Odd constants that scatter the key's bits over the 32 positions of each
// word, one bit per word.
constexpr std::array<std::uint32_t, 8> Salts = {0x47B6137BU, 0x44974D91U, 0x8824AD5BU, 0xA2B7289DU,
                                                0x705495C7U, 0x2DF1424BU, 0x9EFC4947U, 0x5C6BFB31U};

}  // namespace

SuffixFilter::SuffixFilter(std::size_t hashes)
    : blocks_(std::max<std::size_t>(1, hashes * BitsPerHash / (8 * sizeof(Block))), Block{}) {}

// The block comes from the hash's high half, the bits inside it from the
// low half, so the two choices are independent.
std::size_t SuffixFilter::blockFor(std::uint64_t hash) const {
    return static_cast<std::size_t>(((hash >> 32) * blocks_.size()) >> 32);
}

SuffixFilter::Block SuffixFilter::maskFor(std::uint64_t hash) {
    const auto key = static_cast<std::uint32_t>(hash);
    Block mask{};
    for (std::size_t i = 0; i < mask.words.size(); ++i) {
        mask.words[i] = std::uint32_t{1} << ((key * Salts[i]) >> 27);
    }
    return mask;
}

void SuffixFilter::add(std::uint64_t hash) {
    if (blocks_.empty()) {
        return;
    }
    Block& block = blocks_[blockFor(hash)];
    const Block mask = maskFor(hash);
    for (std::size_t i = 0; i < mask.words.size(); ++i) {
        block.words[i] |= mask.words[i];
    }
}

bool SuffixFilter::mayContain(std::uint64_t hash) const {
    if (blocks_.empty()) {
        return false;
    }
    const Block& block = blocks_[blockFor(hash)];
    const Block mask = maskFor(hash);
    std::uint32_t missing = 0;
    for (std::size_t i = 0; i < mask.words.size(); ++i) {
        missing |= mask.words[i] & ~block.words[i];
    }
    return missing == 0;
}

void SuffixFilter::prefetch(std::uint64_t hash) const {
    if (!blocks_.empty()) {
        __builtin_prefetch(&blocks_[blockFor(hash)]);
    }
}

}  // namespace corvane::blocklist
