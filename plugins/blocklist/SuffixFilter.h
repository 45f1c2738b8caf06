#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvane::blocklist {

// A Bloom filter of 64-bit hashes, split into 32-byte blocks so that each
// hash sets and tests 8 bits of one block: one cache line per question. A
// domain set keeps in it every stored name and every parent domain of one,
// so that a lookup walking a query name from its last label leftwards can
// stop at the first domain that is neither, most often after one question,
// without keeping parent domains in its table. A false "maybe" costs one
// probe of the table; there is never a false "no".
class SuffixFilter {
public:
    // Holds nothing; mayContain is always false.
    SuffixFilter() = default;
    // Room for about this many hashes at under 1% false positives.
    explicit SuffixFilter(std::size_t hashes);

    void add(std::uint64_t hash);
    bool mayContain(std::uint64_t hash) const;
    void prefetch(std::uint64_t hash) const;

    std::size_t bytes() const { return blocks_.size() * sizeof(Block); }

private:
    struct alignas(32) Block {
        std::array<std::uint32_t, 8> words;
    };
    static Block maskFor(std::uint64_t hash);
    std::size_t blockFor(std::uint64_t hash) const;

    std::vector<Block> blocks_;
};

}  // namespace corvane::blocklist
