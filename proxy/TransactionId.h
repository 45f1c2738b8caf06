#pragma once

#include <array>
#include <cstdint>

namespace corvane {

// A transaction ID as the log shows it: four upper-case hexadecimal digits,
// the message's first byte as the high byte, i.e. the ID in the byte order
// the client wrote it.
inline std::array<char16_t, 4> transactionIdText(std::uint8_t first, std::uint8_t second) {
    constexpr char16_t Digits[] = u"0123456789ABCDEF";
    return {Digits[first >> 4], Digits[first & 0x0F], Digits[second >> 4], Digits[second & 0x0F]};
}

}  // namespace corvane
