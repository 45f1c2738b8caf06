#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::blocklist {

// A set of domain names, built for a million entries: the names sit end to
// end in one arena, each behind a length byte, and an open-addressing table
// of 8-byte slots points into it. A lookup asks whether a query name or any
// of its parent domains is in the set, in one right-to-left pass over the
// name, without building any string.
//
// Besides the names, the table marks every parent domain of a stored name
// (hash only, no text). The walk over a query name starts at its last label
// and stops at the first domain that is neither stored nor such a parent, so
// a name under an unlisted domain costs one or two probes however deep it is.
//
// Names are stored as the bytes of their text with A-Z folded to a-z; bytes
// 0x80..0xFF are kept as they are and compared exactly.
class DomainSet {
public:
    static constexpr std::size_t maxNameLength = 253;

    // Adds a name (any case, no trailing dot). False when it is empty or
    // longer than maxNameLength, or the set is full (2 GB of names); a
    // duplicate is accepted and stored once.
    bool add(std::string_view name);

    // True when name, or a parent domain of it (what is left after dropping
    // whole leading labels), is in the set, ignoring ASCII case. The name is
    // query text, one character per byte; a character above U+00FF matches
    // nothing, and no parent above it is considered.
    bool containsSelfOrParent(std::u16string_view name) const;

    // Sizes the table for about this many names, and the arena for this many
    // bytes of them, before a big list is read, so that neither is regrown
    // step by step; growing still works past both.
    void reserve(std::size_t names, std::size_t nameBytes);
    // Gives back arena space reserved but not used.
    void shrinkToFit();

    // The number of distinct names added.
    std::size_t size() const { return count_; }
    // Bytes held by the arena and the table, for the benchmark's figures.
    std::size_t memoryBytes() const;

private:
    // ref is 0 for a free slot; with parentBit set, a parent domain known by
    // its hash alone (the hash's low 31 bits kept for regrowing the table);
    // otherwise the arena offset of a stored name's length byte.
    struct Slot {
        std::uint32_t ref;
        std::uint32_t tag;  // high half of the hash, compared first
    };
    static constexpr std::uint32_t parentBit = 0x80000000;
    enum class Presence { Absent, Parent, Stored };

    template <typename Equals>
    Presence presence(std::uint64_t hash, Equals equals) const;
    std::size_t freeSlotFor(std::uint64_t hash) const;
    void insert(std::uint64_t hash, std::uint32_t ref);
    void rebuild(std::size_t capacity);

    std::string arena_ = std::string(1, '\0');  // offset 0 means a free slot
    std::vector<Slot> slots_;
    std::size_t used_ = 0;
    std::size_t count_ = 0;
};

}  // namespace corvane::blocklist
