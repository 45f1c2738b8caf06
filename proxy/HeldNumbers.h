#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "proxy/RandomStream.h"

namespace corvane {

// The upstream transaction numbers held by queries in flight, UDP and TCP
// alike, in the order they were taken, and the drawing of a free one.
//
// A number is held from the forward of its query until the query is retired,
// so no two queries in flight ever share one and no record is ever filed over
// another. Membership is a bitmap and the order a list threaded through two
// arrays indexed by number, so every operation takes constant time and
// nothing is allocated (about 264 KiB, held inline).
class HeldNumbers {
public:
    static constexpr std::size_t Numbers = 65536;
    // Draws tried before walking from a random start: even with three
    // numbers in four held, the walk is needed for one query in three.
    static constexpr int Draws = 4;

    HeldNumbers();

    bool held(std::uint16_t number) const { return (bits_[number / 64] >> (number % 64) & 1) != 0; }
    std::size_t size() const { return size_; }

    // A number no query holds, that nobody can foresee without the stream:
    // one of a few draws, or when each of them is held, the first free number
    // from a drawn start. None when every number is held.
    std::optional<std::uint16_t> drawFree(RandomStream& random) const;

    // Marks a free number held, as the newest.
    void take(std::uint16_t number);
    // Frees a number; nothing to do when it is not held.
    void release(std::uint16_t number);

    // The number held longest; none when nothing is held.
    std::optional<std::uint16_t> oldest() const;

private:
    std::optional<std::uint16_t> firstFreeFrom(std::uint16_t start) const;

    std::array<std::uint64_t, Numbers / 64> bits_{};
    // Neighbours in the order of taking, meaningful for held numbers only.
    std::array<std::uint16_t, Numbers> older_;
    std::array<std::uint16_t, Numbers> newer_;
    std::uint16_t oldest_ = 0;
    std::uint16_t newest_ = 0;
    std::size_t size_ = 0;
};

}  // namespace corvane
