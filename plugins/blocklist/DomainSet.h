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
// Names are stored as the bytes of their text with A-Z folded to a-z; bytes
// 0x80..0xFF are kept as they are and compared exactly.
class DomainSet {
public:
    static constexpr std::size_t maxNameLength = 253;

    // Adds a name (any case, no trailing dot). False when it is empty or
    // longer than maxNameLength; a duplicate is accepted and stored once.
    bool add(std::string_view name);

    // True when name, or a parent domain of it (what is left after dropping
    // whole leading labels), is in the set, ignoring ASCII case. The name is
    // query text, one character per byte; a character above U+00FF matches
    // nothing, and no parent above it is considered.
    bool containsSelfOrParent(std::u16string_view name) const;

    std::size_t size() const { return count_; }
    // Bytes held by the arena and the table, for the benchmark's figures.
    std::size_t memoryBytes() const;

private:
    struct Slot {
        std::uint32_t offset;  // of the length byte in arena_; emptySlot when free
        std::uint32_t tag;     // high half of the name's hash, compared first
    };
    static constexpr std::uint32_t emptySlot = 0xFFFFFFFF;

    bool storedEquals(const Slot& slot, std::string_view folded) const;
    bool storedEquals(const Slot& slot, const char16_t* text, std::size_t length) const;
    void insertSlot(std::uint64_t hash, std::uint32_t offset);
    void grow();

    std::string arena_;
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

}  // namespace corvane::blocklist
