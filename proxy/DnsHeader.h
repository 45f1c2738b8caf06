#pragma once

#include <cstdint>

namespace corvane {

// Every DNS message starts with a 12-byte header: the ID, the flags and the
// four section counts. A datagram shorter than that is not a DNS message.
inline constexpr std::int32_t DnsHeaderLength = 12;

// Each question of the question section ends, after its name, in its type
// and class, two bytes each.
inline constexpr std::int32_t TypeAndClassLength = 4;

// Offsets of the header's fields that replies rewrite (RFC 1035, 4.1.1); each
// count is two bytes, high byte first.
namespace dnsheader {

inline constexpr std::int32_t FlagsHigh = 2;              // QR, opcode, AA, TC, RD
inline constexpr std::uint8_t Truncated = 0x02;           // TC, in FlagsHigh
inline constexpr std::uint8_t Response = 0x80;            // QR, in FlagsHigh
inline constexpr std::uint8_t OpcodeAndRecursion = 0x79;  // opcode and RD, in FlagsHigh
inline constexpr std::int32_t FlagsLow = 3;               // RA, Z, RCODE
inline constexpr std::uint8_t RecursionAvailable = 0x80;  // RA, in FlagsLow
inline constexpr std::uint8_t ServerFailure = 0x02;       // RCODE 2, in FlagsLow
inline constexpr std::uint8_t NameError = 0x03;           // RCODE 3, NXDOMAIN, in FlagsLow
inline constexpr std::int32_t QuestionCount = 4;
inline constexpr std::int32_t AnswerCount = 6;
inline constexpr std::int32_t AuthorityCount = 8;
inline constexpr std::int32_t AdditionalCount = 10;

}  // namespace dnsheader
}  // namespace corvane
