#pragma once

#include <cstdint>

namespace corvane {

// The fixed header every DNS message begins with (RFC 1035, 4.1.1): ID,
// flags, then the four section counts, each two bytes, high byte first.
inline constexpr std::int32_t DnsHeaderLength = 12;

namespace dnsheader {

inline constexpr std::int32_t FlagsHigh = 2;     // QR, opcode, AA, TC, RD
inline constexpr std::uint8_t Truncated = 0x02;  // TC, in FlagsHigh
inline constexpr std::int32_t QuestionCount = 4;
inline constexpr std::int32_t AnswerCount = 6;
inline constexpr std::int32_t AuthorityCount = 8;
inline constexpr std::int32_t AdditionalCount = 10;

}  // namespace dnsheader
}  // namespace corvane
