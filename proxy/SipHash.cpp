#include "proxy/SipHash.h"

namespace corvane {

namespace {

std::uint64_t rotateLeft(std::uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

// One SipRound over the four state words. Every query costs a dozen of
// these, so they are inlined into the few places that run them.
[[gnu::always_inline]] inline void sipRound(std::array<std::uint64_t, 4>& v) {
    v[0] += v[1];
    v[1] = rotateLeft(v[1], 13) ^ v[0];
    v[0] = rotateLeft(v[0], 32);
    v[2] += v[3];
    v[3] = rotateLeft(v[3], 16) ^ v[2];
    v[0] += v[3];
    v[3] = rotateLeft(v[3], 21) ^ v[0];
    v[2] += v[1];
    v[1] = rotateLeft(v[1], 17) ^ v[2];
    v[2] = rotateLeft(v[2], 32);
}

}  // namespace

SipHasher::SipHasher(const SipHashKey& key)
    : v_{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
         key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL} {}

void SipHasher::add(const std::uint8_t* bytes, std::size_t count) {
    std::size_t at = 0;
    while (at < count && length_ % 8 != 0) {
        add(bytes[at++]);
    }
    for (; count - at >= 8; at += 8) {
        std::uint64_t word = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            word |= static_cast<std::uint64_t>(bytes[at + i]) << (8 * i);
        }
        absorb(word);
        length_ += 8;
    }
    while (at < count) {
        add(bytes[at++]);
    }
}

// Two compression rounds per 8-byte word.
void SipHasher::absorb(std::uint64_t word) {
    v_[3] ^= word;
    sipRound(v_);
    sipRound(v_);
    v_[0] ^= word;
}

// The last word carries the length's low byte on top; then four finishing rounds.
std::uint64_t SipHasher::finish() {
    absorb(pending_ | (length_ << 56));
    v_[2] ^= 0xFF;
    for (int i = 0; i < 4; ++i) {
        sipRound(v_);
    }
    return v_[0] ^ v_[1] ^ v_[2] ^ v_[3];
}

}  // namespace corvane
