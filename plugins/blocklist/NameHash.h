#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::blocklist {

// How a domain set folds and hashes names. A set hashes the names it stores
// and a lookup hashes the query with these same steps, so both sides must
// agree byte for byte.

// The longest name a set stores, the longest a DNS name can be in text.
inline constexpr std::size_t MaxNameLength = 253;

// Names compare ignoring ASCII case only; other bytes compare exactly.
constexpr unsigned char foldCase(unsigned value) {
    return static_cast<unsigned char>(value >= 'A' && value <= 'Z' ? value + ('a' - 'A') : value);
}

// The hash runs over a name from its last byte to its first, so that while
// walking a name leftwards the hash of every parent domain is at hand the
// moment its first byte is reached. The finish step spreads the bits that
// FNV leaves weak, since a set's table uses the low half and its tag and
// filter the high.
inline constexpr std::uint64_t HashSeed = 0xCBF29CE484222325ULL;

constexpr std::uint64_t hashStep(std::uint64_t hash, unsigned char byte) {
    return (hash ^ byte) * 0x100000001B3ULL;
}

constexpr std::uint64_t hashFinish(std::uint64_t hash) {
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ULL;
    hash ^= hash >> 33;
    return hash;
}

}  // namespace corvane::blocklist
