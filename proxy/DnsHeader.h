#pragma once

#include <cstdint>

namespace corvane {

// Every DNS message starts with a 12-byte header: the ID, the flags and the
// four section counts. A datagram shorter than that is not a DNS message.
inline constexpr std::int32_t DnsHeaderLength = 12;

}  // namespace corvane
