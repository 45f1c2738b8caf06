#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "proxy/ChaCha20.h"

namespace corvane {

// The 32 bytes a RandomStream starts from. The program takes them from the
// system's generator at startup; tests pass fixed ones.
using RandomSeed = std::array<std::uint8_t, 32>;

// Random numbers that an onlooker cannot predict from the ones it has seen,
// at the cost of a few arithmetic instructions each and no system call: the
// ChaCha20 keystream under a key that starts as the seed.
//
// The keystream is made a batch of BatchBlocks blocks at a time. The first 32
// bytes of each batch become the key of the next one and the rest is handed
// out, so the key changes with every batch, no block counter can ever wrap,
// and a later look at the program's memory cannot recover earlier batches.
class RandomStream {
public:
    static constexpr std::size_t BatchBlocks = 8;

    explicit RandomStream(const RandomSeed& seed);

    std::uint16_t next16();
    std::uint64_t next64();

private:
    static constexpr std::size_t BatchBytes = BatchBlocks * std::tuple_size_v<ChaCha20Block>;
    static constexpr std::size_t KeyBytes = std::tuple_size_v<ChaCha20Key>;

    // The next count bytes of the batch, read as a little-endian number.
    std::uint64_t take(std::size_t count);
    void refill();

    ChaCha20Key key_;
    std::array<std::uint8_t, BatchBytes> batch_{};
    std::size_t used_ = BatchBytes;
};

}  // namespace corvane
