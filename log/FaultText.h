#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane {

// The pieces of the fault report's text, built without allocating so that the
// fault handler can use them. Every function here is async-signal-safe.

// The largest report text: a file title, a ten-digit line, the longest
// description and the fixed parts, with room to spare.
inline constexpr std::size_t FaultReportCapacity = 512;

// Longest file title kept (without the terminating NUL); longer names are cut.
inline constexpr std::size_t FileTitleCapacity = 64;

// Writes the report text into out, NUL-terminated, and returns its length:
// the file title, " [", the line in decimal, "]", CR LF, the description of
// code upper-cased, CR LF and 64 spaces. A text that does not fit is cut at
// capacity - 1 bytes; a capacity of 0 writes nothing.
std::size_t formatFaultReport(char* out, std::size_t capacity, const char* fileTitle,
                              std::uint32_t line, std::uint32_t code) noexcept;

// Copies the name of the file at path without its directory and without its
// last extension ("/src/proxy/Corvane.cpp" gives "Corvane") into out,
// NUL-terminated, cut to capacity - 1 bytes.
void fileTitleOf(const char* path, char* out, std::size_t capacity) noexcept;

}  // namespace corvane
