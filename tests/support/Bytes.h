#pragma once

#include <cstdint>
#include <vector>

namespace corvane::test {

// Datagrams, file contents and everything else a test compares byte by byte.
using Bytes = std::vector<std::uint8_t>;

}  // namespace corvane::test
