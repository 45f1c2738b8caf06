#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "PageBuffer.h"

namespace corvane::blocklist {

// A Bloom filter of 64-bit hashes that holds two marks, split into 32-byte
// blocks so that each hash sets and tests 8 bits of one block per mark: one
// cache line per question, whichever mark is asked. A domain set marks every
// stored name as Stored and every parent domain of one as Parent, so that a
// lookup walking a query name from its last label leftwards looks into its
// table only for a domain that may be stored, and stops at the first domain
// that is neither, most often after one question. A false "maybe" costs a
// probe of the table or a step further; there is never a false "no".
class SuffixFilter {
public:
    enum class Mark { Stored, Parent };
    struct Marks {
        bool mayBeStored;
        bool mayBeParent;
    };

    // Holds nothing; every mark is absent.
    SuffixFilter() = default;
    // Room for about this many marks at under 1% false positives each.
    explicit SuffixFilter(std::size_t marks);

    void add(std::uint64_t hash, Mark mark);
    Marks marksOf(std::uint64_t hash) const;
    void prefetch(std::uint64_t hash) const;

    std::size_t bytes() const { return blocks_.bytes(); }

private:
    struct alignas(32) Block {
        std::array<std::uint32_t, 8> words;
    };
    static Block maskFor(std::uint64_t hash, Mark mark);
    static bool covers(const Block& block, const Block& mask);
    std::size_t blockFor(std::uint64_t hash) const;

    PageArray<Block> blocks_;
};

}  // namespace corvane::blocklist
