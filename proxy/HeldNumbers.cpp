#include "proxy/HeldNumbers.h"

#include <bit>

namespace corvane {

// The order arrays are written before they are read, so they are left as
// they come: zeroing 256 KiB for every table would buy nothing.
HeldNumbers::HeldNumbers() {}

std::optional<std::uint16_t> HeldNumbers::drawFree(RandomStream& random) const {
    if (size_ == Numbers) {
        return std::nullopt;
    }
    for (int draw = 0; draw < Draws; ++draw) {
        const std::uint16_t number = random.next16();
        if (!held(number)) {
            return number;
        }
    }
    return firstFreeFrom(random.next16());
}

// Word by word from the one holding start, round to the bits below start.
std::optional<std::uint16_t> HeldNumbers::firstFreeFrom(std::uint16_t start) const {
    const std::size_t firstWord = start / 64;
    const unsigned firstBit = start % 64;
    for (std::size_t step = 0; step <= bits_.size(); ++step) {
        const std::size_t word = (firstWord + step) % bits_.size();
        std::uint64_t free = ~bits_[word];
        if (step == 0) {
            free &= ~std::uint64_t{0} << firstBit;
        } else if (step == bits_.size()) {
            free &= (std::uint64_t{1} << firstBit) - 1;
        }
        if (free != 0) {
            return static_cast<std::uint16_t>(word * 64 +
                                              static_cast<std::size_t>(std::countr_zero(free)));
        }
    }
    return std::nullopt;
}

void HeldNumbers::take(std::uint16_t number) {
    if (held(number)) {
        return;
    }
    bits_[number / 64] |= std::uint64_t{1} << (number % 64);
    if (size_ == 0) {
        oldest_ = number;
    } else {
        newer_[newest_] = number;
        older_[number] = newest_;
    }
    newest_ = number;
    ++size_;
}

void HeldNumbers::release(std::uint16_t number) {
    if (!held(number)) {
        return;
    }
    bits_[number / 64] &= ~(std::uint64_t{1} << (number % 64));
    --size_;
    if (size_ == 0) {
        return;
    }
    if (number == oldest_) {
        oldest_ = newer_[number];
    } else if (number == newest_) {
        newest_ = older_[number];
    } else {
        newer_[older_[number]] = newer_[number];
        older_[newer_[number]] = older_[number];
    }
}

std::optional<std::uint16_t> HeldNumbers::oldest() const {
    if (size_ == 0) {
        return std::nullopt;
    }
    return oldest_;
}

}  // namespace corvane
