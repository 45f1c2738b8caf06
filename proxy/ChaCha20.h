#pragma once

#include <array>
#include <cstdint>

namespace corvane {

// The ChaCha20 block function of RFC 8439: 64 bytes of keystream for a 256-bit
// key, a 32-bit block counter and a 96-bit nonce. Key and nonce are read as
// little-endian words, exactly as the RFC lays them out in bytes.
using ChaCha20Key = std::array<std::uint8_t, 32>;
using ChaCha20Nonce = std::array<std::uint8_t, 12>;
using ChaCha20Block = std::array<std::uint8_t, 64>;

ChaCha20Block chacha20Block(const ChaCha20Key& key, std::uint32_t counter,
                            const ChaCha20Nonce& nonce);

}  // namespace corvane
