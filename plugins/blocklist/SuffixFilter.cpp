#include "SuffixFilter.h"

#include <algorithm>

namespace corvane::blocklist {
namespace {

// Callers count every suffix of every name, shared parents again each time,
// so a distinct hash gets more than this on average.
constexpr std::size_t BitsPerMark = 8;

// Odd constants that scatter the key's bits over the 32 positions of each
// word, one bit per word; each mark has its own, so the two marks of one
// hash fall on different bits.
using Salts = std::array<std::uint32_t, 8>;
constexpr Salts StoredSalts = {0x47B6137BU, 0x44974D91U, 0x8824AD5BU, 0xA2B7289DU,
                               0x705495C7U, 0x2DF1424BU, 0x9EFC4947U, 0x5C6BFB31U};
constexpr Salts ParentSalts = {0x9E3779B1U, 0x85EBCA77U, 0xC2B2AE3DU, 0x27D4EB2FU,
                               0x165667B1U, 0xD3A2646DU, 0xFD7046C5U, 0xB55A4F09U};

}  // namespace

SuffixFilter::SuffixFilter(std::size_t marks)
    : blocks_(std::max<std::size_t>(1, marks * BitsPerMark / (8 * sizeof(Block)))) {}

// The block comes from the hash's high half, the bits inside it from the
// low half, so the two choices are independent.
std::size_t SuffixFilter::blockFor(std::uint64_t hash) const {
    return static_cast<std::size_t>(((hash >> 32) * blocks_.size()) >> 32);
}

SuffixFilter::Block SuffixFilter::maskFor(std::uint64_t hash, Mark mark) {
    const auto key = static_cast<std::uint32_t>(hash);
    const Salts& salts = mark == Mark::Stored ? StoredSalts : ParentSalts;
    Block mask{};
    for (std::size_t i = 0; i < mask.words.size(); ++i) {
        mask.words[i] = std::uint32_t{1} << ((key * salts[i]) >> 27);
    }
    return mask;
}

bool SuffixFilter::covers(const Block& block, const Block& mask) {
    std::uint32_t missing = 0;
    for (std::size_t i = 0; i < mask.words.size(); ++i) {
        missing |= mask.words[i] & ~block.words[i];
    }
    return missing == 0;
}

void SuffixFilter::add(std::uint64_t hash, Mark mark) {
    if (blocks_.size() == 0) {
        return;
    }
    Block& block = blocks_[blockFor(hash)];
    const Block mask = maskFor(hash, mark);
    for (std::size_t i = 0; i < mask.words.size(); ++i) {
        block.words[i] |= mask.words[i];
    }
}

SuffixFilter::Marks SuffixFilter::marksOf(std::uint64_t hash) const {
    if (blocks_.size() == 0) {
        return {false, false};
    }
    const Block& block = blocks_[blockFor(hash)];
    return {covers(block, maskFor(hash, Mark::Stored)), covers(block, maskFor(hash, Mark::Parent))};
}

void SuffixFilter::prefetch(std::uint64_t hash) const {
    if (blocks_.size() != 0) {
        __builtin_prefetch(&blocks_[blockFor(hash)]);
    }
}

}  // namespace corvane::blocklist
