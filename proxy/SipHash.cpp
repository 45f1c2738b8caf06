#include "proxy/SipHash.h"

namespace corvane {

namespace {

std::uint64_t rotateLeft(std::uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
}

}  // namespace

SipHasher::SipHasher(const SipHashKey& key)
    : v_{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
         key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL} {}

void SipHasher::round() {
    v_[0] += v_[1];
    v_[1] = rotateLeft(v_[1], 13) ^ v_[0];
    v_[0] = rotateLeft(v_[0], 32);
    v_[2] += v_[3];
    v_[3] = rotateLeft(v_[3], 16) ^ v_[2];
    v_[0] += v_[3];
    v_[3] = rotateLeft(v_[3], 21) ^ v_[0];
    v_[2] += v_[1];
    v_[1] = rotateLeft(v_[1], 17) ^ v_[2];
    v_[2] = rotateLeft(v_[2], 32);
}

// Two compression rounds per 8-byte word.
void SipHasher::absorb(std::uint64_t word) {
    v_[3] ^= word;
    round();
    round();
    v_[0] ^= word;
}

// The last word carries the length's low byte on top; then four finishing rounds.
std::uint64_t SipHasher::finish() {
    absorb(pending_ | (length_ << 56));
    v_[2] ^= 0xFF;
    for (int i = 0; i < 4; ++i) {
        round();
    }
    return v_[0] ^ v_[1] ^ v_[2] ^ v_[3];
}

}  // namespace corvane
