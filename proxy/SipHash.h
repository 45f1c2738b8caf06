#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvane {

// The 128-bit key of SipHash, as its two little-endian 64-bit halves.
struct SipHashKey {
    std::uint64_t k0 = 0;
    std::uint64_t k1 = 0;
};

// SipHash-2-4 (Aumasson and Bernstein), a keyed 64-bit hash: without the key,
// nobody can make two inputs hash alike on purpose. Bytes are fed one at a
// time or in runs, so that a message can be hashed as it is read, without
// being copied first.
class SipHasher {
public:
    explicit SipHasher(const SipHashKey& key);

    void add(std::uint8_t byte) {
        pending_ |= static_cast<std::uint64_t>(byte) << (8 * (length_ % 8));
        if (++length_ % 8 == 0) {
            absorb(pending_);
            pending_ = 0;
        }
    }
    // Whole words go straight in; only the ends go byte by byte.
    void add(const std::uint8_t* bytes, std::size_t count);

    // The hash of everything added so far; the hasher is spent afterwards.
    std::uint64_t finish();

private:
    void absorb(std::uint64_t word);

    std::array<std::uint64_t, 4> v_;
    std::uint64_t pending_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace corvane
