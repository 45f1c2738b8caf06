#include "DomainSet.h"

#include <array>

namespace corvane::blocklist {
namespace {

constexpr std::uint64_t hashSeed = 0xCBF29CE484222325ULL;
constexpr std::uint64_t hashPrime = 0x100000001B3ULL;

constexpr unsigned char foldCase(unsigned value) {
    return static_cast<unsigned char>(value >= 'A' && value <= 'Z' ? value + ('a' - 'A') : value);
}

// The hash runs over a name from its last byte to its first, so that while
// walking a query name leftwards the hash of every parent domain is at hand
// the moment its first byte is reached. The finish step spreads the bits that
// FNV leaves weak, since the index uses the low bits and the tag the high.
constexpr std::uint64_t hashStep(std::uint64_t hash, unsigned char byte) {
    return (hash ^ byte) * hashPrime;
}

constexpr std::uint64_t hashFinish(std::uint64_t hash) {
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ULL;
    hash ^= hash >> 33;
    return hash;
}

std::uint64_t hashName(std::string_view folded) {
    std::uint64_t hash = hashSeed;
    for (std::size_t i = folded.size(); i > 0; --i) {
        hash = hashStep(hash, static_cast<unsigned char>(folded[i - 1]));
    }
    return hashFinish(hash);
}

std::uint32_t tagOf(std::uint64_t hash) {
    return static_cast<std::uint32_t>(hash >> 32);
}

}  // namespace

bool DomainSet::storedEquals(const Slot& slot, std::string_view folded) const {
    const auto length = static_cast<unsigned char>(arena_[slot.offset]);
    return length == folded.size() && arena_.compare(slot.offset + 1, length, folded) == 0;
}

bool DomainSet::storedEquals(const Slot& slot, const char16_t* text, std::size_t length) const {
    if (static_cast<unsigned char>(arena_[slot.offset]) != length) {
        return false;
    }
    const char* stored = arena_.data() + slot.offset + 1;
    for (std::size_t i = 0; i < length; ++i) {
        // text holds only characters up to U+00FF here; the caller stops at
        // anything wider.
        if (static_cast<unsigned char>(stored[i]) != foldCase(text[i])) {
            return false;
        }
    }
    return true;
}

void DomainSet::insertSlot(std::uint64_t hash, std::uint32_t offset) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t index = hash & mask;
    while (slots_[index].offset != emptySlot) {
        index = (index + 1) & mask;
    }
    slots_[index] = Slot{offset, tagOf(hash)};
}

void DomainSet::grow() {
    // Kept at most half full, so that a miss, the common case for a filter,
    // ends after a probe or two.
    const std::size_t capacity = slots_.empty() ? 1024 : slots_.size() * 2;
    std::vector<Slot> old(capacity, Slot{emptySlot, 0});
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.offset != emptySlot) {
            const auto length = static_cast<unsigned char>(arena_[slot.offset]);
            insertSlot(hashName(std::string_view(arena_).substr(slot.offset + 1, length)),
                       slot.offset);
        }
    }
}

bool DomainSet::add(std::string_view name) {
    if (name.empty() || name.size() > maxNameLength) {
        return false;
    }
    std::array<char, maxNameLength> buffer;
    for (std::size_t i = 0; i < name.size(); ++i) {
        buffer[i] = static_cast<char>(foldCase(static_cast<unsigned char>(name[i])));
    }
    const std::string_view folded(buffer.data(), name.size());
    if ((count_ + 1) * 2 > slots_.size()) {
        grow();
    }
    const std::uint64_t hash = hashName(folded);
    const std::uint32_t tag = tagOf(hash);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t index = hash & mask; slots_[index].offset != emptySlot;
         index = (index + 1) & mask) {
        if (slots_[index].tag == tag && storedEquals(slots_[index], folded)) {
            return true;
        }
    }
    if (arena_.size() + 1 + folded.size() >= emptySlot) {
        return false;
    }
    const auto offset = static_cast<std::uint32_t>(arena_.size());
    arena_.push_back(static_cast<char>(folded.size()));
    arena_.append(folded);
    insertSlot(hash, offset);
    ++count_;
    return true;
}

bool DomainSet::containsSelfOrParent(std::u16string_view name) const {
    if (count_ == 0) {
        return false;
    }
    const std::size_t mask = slots_.size() - 1;
    std::uint64_t hash = hashSeed;
    // Only a suffix no longer than the longest storable name can match.
    const std::size_t stop = name.size() > maxNameLength ? name.size() - maxNameLength : 0;
    for (std::size_t i = name.size(); i > stop; --i) {
        const char16_t c = name[i - 1];
        if (c > 0xFF) {
            return false;
        }
        hash = hashStep(hash, foldCase(c));
        const std::size_t start = i - 1;
        if (start != 0 && name[start - 1] != u'.') {
            continue;
        }
        const std::uint64_t finished = hashFinish(hash);
        const std::uint32_t tag = tagOf(finished);
        for (std::size_t index = finished & mask; slots_[index].offset != emptySlot;
             index = (index + 1) & mask) {
            if (slots_[index].tag == tag &&
                storedEquals(slots_[index], name.data() + start, name.size() - start)) {
                return true;
            }
        }
    }
    return false;
}

std::size_t DomainSet::memoryBytes() const {
    return arena_.capacity() + slots_.capacity() * sizeof(Slot);
}

}  // namespace corvane::blocklist
