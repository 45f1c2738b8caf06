#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "NameArena.h"
#include "NameHash.h"
#include "PageBuffer.h"
#include "QueryName.h"
#include "SuffixFilter.h"

namespace corvane::blocklist {

// A set of domain names, built for a million entries and more. A lookup asks
// whether a query name or any of its parent domains is in the set, in one
// right-to-left pass over the name, without building any string.
//
// The names sit end to end in an arena; an open-addressing table of 8-byte
// slots (arena reference and 32 bits of the name's hash) points into it,
// sized once for the names, at most 60% full. A Bloom filter marks every
// stored name, and apart from those every parent domain of one: the walk
// over a query name starts at its last label, looks into the table only for
// a domain the filter may hold as stored, and stops at the first domain that
// is not even a parent, so a name under an unlisted domain costs one question
// of the filter however deep it is. Together about 35 bytes a name.
//
// Names are stored as the bytes of their text with A-Z folded to a-z; bytes
// 0x80..0xFF are kept as they are and compared exactly.
//
// A set is made by a Builder and not changed afterwards; reading a new list
// builds a new set beside the old one.
class DomainSet {
public:
    class Builder;

    // The empty set.
    DomainSet() = default;

    // True when name, or a parent domain of it (what is left after dropping
    // whole leading labels), is in the set, ignoring ASCII case. The name is
    // query text, one character per byte; a character above U+00FF matches
    // nothing, and no parent above it is considered.
    bool containsSelfOrParent(std::u16string_view name) const;
    // The same for a name already taken apart, as when several sets are asked.
    bool containsSelfOrParent(const QueryName& name) const;

    // The number of distinct names.
    std::size_t size() const { return count_; }
    // Bytes held by the arena, the table and the filter, for the benchmark.
    std::size_t memoryBytes() const;

private:
    struct Slot {
        std::uint32_t ref;  // arena reference of the name; 0 for a free slot
        std::uint32_t tag;  // high half of the name's hash, compared first
    };

    class IndexBatch;

    void index(std::size_t names, std::size_t suffixes);
    void insert(std::uint32_t ref, std::string_view name, std::uint64_t hash);
    std::size_t home(std::uint64_t hash) const;
    std::size_t next(std::size_t slot) const { return slot + 1 == slots_.size() ? 0 : slot + 1; }
    template <typename Equals>
    bool stores(std::uint64_t hash, Equals equals) const;
    bool storesSuffix(const QueryName& name, std::size_t k) const;

    NameArena arena_;
    PageArray<Slot> slots_;
    SuffixFilter suffixes_;
    std::size_t count_ = 0;
};

// Collects names for a set: copies each into the arena and nothing more, so
// that the table and the filter are sized once, for the final count.
class DomainSet::Builder {
public:
    // Adds a name (any case, no trailing dot). False when it is empty or
    // longer than MaxNameLength, or the set is full (4 GB of names); a
    // duplicate is accepted and stored once.
    bool add(std::string_view name);

    // The names added so far, duplicates included.
    std::size_t added() const { return names_; }

    // The set of every name added; the builder is left empty.
    DomainSet build();

private:
    NameArena arena_;
    std::size_t names_ = 0;
    std::size_t suffixes_ = 0;  // the names' labels, counted with repeats
};

}  // namespace corvane::blocklist
