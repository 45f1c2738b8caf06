#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane {

// "hh:ii:ss | ": the time of day that starts every log line.
inline constexpr std::size_t TimePrefixLength = 11;

// Appends the time prefix for a localSeconds reading. A negative reading
// (the clock could not represent the date) shows as 00:00:00.
void appendTimePrefix(std::int64_t localSeconds, std::u16string& out);

}  // namespace corvane
