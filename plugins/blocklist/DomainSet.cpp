#include "DomainSet.h"

#include <algorithm>
#include <array>

namespace corvane::blocklist {
namespace {

constexpr std::uint64_t hashSeed = 0xCBF29CE484222325ULL;
constexpr std::uint64_t hashPrime = 0x100000001B3ULL;
constexpr std::uint32_t lowHashMask = 0x7FFFFFFF;
// Names and parent marks together; at most half full, the table stays within
// 2^31 slots.
constexpr std::size_t maxEntries = std::size_t{1} << 30;

constexpr unsigned char foldCase(unsigned value) {
    return static_cast<unsigned char>(value >= 'A' && value <= 'Z' ? value + ('a' - 'A') : value);
}

// The hash runs over a name from its last byte to its first, so that while
// walking a name leftwards the hash of every parent domain is at hand the
// moment its first byte is reached. The finish step spreads the bits that
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

std::uint32_t parentRef(std::uint64_t hash) {
    return 0x80000000U | (static_cast<std::uint32_t>(hash) & lowHashMask);
}

}  // namespace

// Scans the whole probe chain of hash: a stored name that equals() accepts
// wins; otherwise a parent mark with the same 63 hash bits makes it a parent.
// A mark shared by two parents by chance only costs a later probe; a stored
// name is always compared in full.
template <typename Equals>
DomainSet::Presence DomainSet::presence(std::uint64_t hash, Equals equals) const {
    if (slots_.empty()) {
        return Presence::Absent;
    }
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t tag = tagOf(hash);
    Presence found = Presence::Absent;
    for (std::size_t index = hash & mask; slots_[index].ref != 0; index = (index + 1) & mask) {
        const Slot& slot = slots_[index];
        if (slot.tag != tag) {
            continue;
        }
        if ((slot.ref & parentBit) == 0) {
            const auto length = static_cast<unsigned char>(arena_[slot.ref]);
            if (equals(std::string_view(arena_.data() + slot.ref + 1, length))) {
                return Presence::Stored;
            }
        } else if (slot.ref == parentRef(hash)) {
            found = Presence::Parent;
        }
    }
    return found;
}

std::size_t DomainSet::freeSlotFor(std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t index = hash & mask;
    while (slots_[index].ref != 0) {
        index = (index + 1) & mask;
    }
    return index;
}

void DomainSet::rebuild(std::size_t capacity) {
    std::vector<Slot> old(capacity, Slot{0, 0});
    old.swap(slots_);
    for (const Slot& slot : old) {
        if (slot.ref == 0) {
            continue;
        }
        std::uint64_t slotHash = 0;
        if ((slot.ref & parentBit) != 0) {
            // The table never grows past 2^31 slots (see maxEntries), so 31
            // low bits and the tag give back all the index bits.
            slotHash = (std::uint64_t{slot.tag} << 32) | (slot.ref & lowHashMask);
        } else {
            const auto length = static_cast<unsigned char>(arena_[slot.ref]);
            slotHash = hashName(std::string_view(arena_).substr(slot.ref + 1, length));
        }
        slots_[freeSlotFor(slotHash)] = slot;
    }
}

void DomainSet::insert(std::uint64_t hash, std::uint32_t ref) {
    // Kept at most half full, so that a miss, the common case for a filter,
    // ends after a probe or two.
    if ((used_ + 1) * 2 > slots_.size()) {
        rebuild(slots_.empty() ? 1024 : slots_.size() * 2);
    }
    slots_[freeSlotFor(hash)] = Slot{ref, tagOf(hash)};
    ++used_;
}

void DomainSet::reserve(std::size_t names, std::size_t nameBytes) {
    // Lists put most names under parents that other names share; room for
    // half as many parent marks as names is the usual need.
    const std::size_t entries = std::min<std::size_t>(names + names / 2, std::size_t{1} << 29);
    std::size_t capacity = 1024;
    while (capacity < entries * 2) {
        capacity *= 2;
    }
    if (capacity > slots_.size()) {
        rebuild(capacity);
    }
    arena_.reserve(arena_.size() + std::min<std::size_t>(nameBytes, lowHashMask));
}

void DomainSet::shrinkToFit() {
    arena_.shrink_to_fit();
}

bool DomainSet::add(std::string_view name) {
    // The limits keep arena offsets below parentBit and the table within
    // 2^31 slots, which the parent marks rely on.
    if (name.empty() || name.size() > maxNameLength ||
        arena_.size() + 1 + name.size() > lowHashMask ||
        used_ + maxNameLength / 2 + 1 > maxEntries) {
        return false;
    }
    std::array<char, maxNameLength> buffer;
    for (std::size_t i = 0; i < name.size(); ++i) {
        buffer[i] = static_cast<char>(foldCase(static_cast<unsigned char>(name[i])));
    }
    const std::string_view folded(buffer.data(), name.size());
    // Mark the parents, right to left, then store the name itself.
    std::uint64_t hash = hashSeed;
    for (std::size_t i = folded.size(); i > 1; --i) {
        hash = hashStep(hash, static_cast<unsigned char>(folded[i - 1]));
        if (folded[i - 2] != '.') {
            continue;
        }
        const std::string_view parent = folded.substr(i - 1);
        const std::uint64_t parentHash = hashFinish(hash);
        if (presence(parentHash, [&](std::string_view stored) { return stored == parent; }) ==
            Presence::Absent) {
            insert(parentHash, parentRef(parentHash));
        }
    }
    const std::uint64_t fullHash =
        hashFinish(hashStep(hash, static_cast<unsigned char>(folded[0])));
    if (presence(fullHash, [&](std::string_view stored) { return stored == folded; }) ==
        Presence::Stored) {
        return true;
    }
    const auto offset = static_cast<std::uint32_t>(arena_.size());
    arena_.push_back(static_cast<char>(folded.size()));
    arena_.append(folded);
    insert(fullHash, offset);
    ++count_;
    return true;
}

bool DomainSet::containsSelfOrParent(std::u16string_view name) const {
    if (count_ == 0) {
        return false;
    }
    // First the hash of every parent domain, right to left; only a suffix no
    // longer than the longest storable name can match, and none that reaches
    // past a character wider than a byte.
    struct Suffix {
        std::size_t start;
        std::uint64_t hash;
    };
    std::array<Suffix, maxNameLength / 2 + 1> suffixes;
    std::size_t suffixCount = 0;
    std::uint64_t hash = hashSeed;
    const std::size_t stop = name.size() > maxNameLength ? name.size() - maxNameLength : 0;
    for (std::size_t i = name.size(); i > stop; --i) {
        const char16_t c = name[i - 1];
        if (c > 0xFF) {
            break;
        }
        hash = hashStep(hash, foldCase(c));
        const std::size_t start = i - 1;
        if (start == 0 || name[start - 1] == u'.') {
            suffixes[suffixCount++] = Suffix{start, hashFinish(hash)};
        }
    }
    // Each probe is most likely a cache miss in a big table: ask for the
    // first few slots at once, so their misses overlap instead of queueing.
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t k = 0; k < std::min<std::size_t>(suffixCount, 3); ++k) {
        __builtin_prefetch(&slots_[suffixes[k].hash & mask]);
    }
    for (std::size_t k = 0; k < suffixCount; ++k) {
        const std::u16string_view suffix = name.substr(suffixes[k].start);
        const Presence found = presence(suffixes[k].hash, [&](std::string_view stored) {
            if (stored.size() != suffix.size()) {
                return false;
            }
            for (std::size_t j = 0; j < stored.size(); ++j) {
                if (static_cast<unsigned char>(stored[j]) != foldCase(suffix[j])) {
                    return false;
                }
            }
            return true;
        });
        if (found == Presence::Stored) {
            return true;
        }
        if (found == Presence::Absent) {
            // No stored name lies below a domain that is not even a parent.
            return false;
        }
    }
    return false;
}

std::size_t DomainSet::memoryBytes() const {
    return arena_.capacity() + slots_.capacity() * sizeof(Slot);
}

}  // namespace corvane::blocklist
