#pragma once

#include <cstdint>

#include "proxy/RandomStream.h"

namespace corvane::test {

// The seed that tests and fuzz targets start the generator of upstream
// numbers from, so that every run draws the same numbers. A variant gives
// another seed where a test needs two.
inline RandomSeed testSeed(std::uint8_t variant = 0) {
    RandomSeed seed{};
    for (std::size_t i = 0; i < seed.size(); ++i) {
        seed[i] = static_cast<std::uint8_t>(i * 37 + variant);
    }
    return seed;
}

}  // namespace corvane::test
