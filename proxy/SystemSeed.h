#pragma once

#include <optional>

#include "proxy/RandomStream.h"

namespace corvane {

// A seed from the kernel's generator (getrandom, which waits only until the
// kernel's pool was first filled after boot; /dev/urandom where the call is
// not allowed). None when neither gives one; the reason went to standard
// error.
std::optional<RandomSeed> systemSeed();

}  // namespace corvane
