#include "proxy/ChaCha20.h"

#include <cstddef>

namespace corvane {

namespace {

constexpr std::size_t Words = 16;
constexpr int DoubleRounds = 10;

std::uint32_t rotateLeft(std::uint32_t value, int bits) {
    return (value << bits) | (value >> (32 - bits));
}

void quarterRound(std::array<std::uint32_t, Words>& x, std::size_t a, std::size_t b, std::size_t c,
                  std::size_t d) {
    x[a] += x[b];
    x[d] = rotateLeft(x[d] ^ x[a], 16);
    x[c] += x[d];
    x[b] = rotateLeft(x[b] ^ x[c], 12);
    x[a] += x[b];
    x[d] = rotateLeft(x[d] ^ x[a], 8);
    x[c] += x[d];
    x[b] = rotateLeft(x[b] ^ x[c], 7);
}

std::uint32_t littleEndianWord(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

}  // namespace

ChaCha20Block chacha20Block(const ChaCha20Key& key, std::uint32_t counter,
                            const ChaCha20Nonce& nonce) {
    // "expand 32-byte k", then the key, the counter and the nonce.
    std::array<std::uint32_t, Words> state{0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};
    for (std::size_t i = 0; i < 8; ++i) {
        state[4 + i] = littleEndianWord(key.data() + 4 * i);
    }
    state[12] = counter;
    for (std::size_t i = 0; i < 3; ++i) {
        state[13 + i] = littleEndianWord(nonce.data() + 4 * i);
    }

    std::array<std::uint32_t, Words> x = state;
    for (int round = 0; round < DoubleRounds; ++round) {
        quarterRound(x, 0, 4, 8, 12);  // columns
        quarterRound(x, 1, 5, 9, 13);
        quarterRound(x, 2, 6, 10, 14);
        quarterRound(x, 3, 7, 11, 15);
        quarterRound(x, 0, 5, 10, 15);  // diagonals
        quarterRound(x, 1, 6, 11, 12);
        quarterRound(x, 2, 7, 8, 13);
        quarterRound(x, 3, 4, 9, 14);
    }

    ChaCha20Block out{};
    for (std::size_t i = 0; i < Words; ++i) {
        const std::uint32_t word = x[i] + state[i];
        for (std::size_t byte = 0; byte < 4; ++byte) {
            out[4 * i + byte] = static_cast<std::uint8_t>(word >> (8 * byte));
        }
    }
    return out;
}

}  // namespace corvane
