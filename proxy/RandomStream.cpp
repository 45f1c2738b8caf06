#include "proxy/RandomStream.h"

#include <algorithm>

namespace corvane {

RandomStream::RandomStream(const RandomSeed& seed) : key_(seed) {}

std::uint16_t RandomStream::next16() {
    return static_cast<std::uint16_t>(take(2));
}

std::uint64_t RandomStream::next64() {
    return take(8);
}

std::uint64_t RandomStream::take(std::size_t count) {
    if (BatchBytes - used_ < count) {
        refill();
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        value |= static_cast<std::uint64_t>(batch_[used_ + i]) << (8 * i);
    }
    used_ += count;
    return value;
}

void RandomStream::refill() {
    constexpr ChaCha20Nonce Nonce{};
    constexpr std::size_t BlockBytes = std::tuple_size_v<ChaCha20Block>;
    for (std::uint32_t block = 0; block < BatchBlocks; ++block) {
        const ChaCha20Block bytes = chacha20Block(key_, block, Nonce);
        std::copy(bytes.begin(), bytes.end(), batch_.begin() + block * BlockBytes);
    }
    std::copy(batch_.begin(), batch_.begin() + KeyBytes, key_.begin());
    std::fill(batch_.begin(), batch_.begin() + KeyBytes, std::uint8_t{0});
    used_ = KeyBytes;
}

}  // namespace corvane
