#pragma once

#include <optional>
#include <string>

namespace corvane {

// The error text of a dialog build: UTF-8, at most 511 bytes, none while the
// build went well.
using BuildError = std::optional<std::string>;

// Records a build error, formatted printf-style into 512 bytes, unless one is
// recorded already: only the first error of a build counts. A cut never
// leaves part of a character behind.
void recordBuildError(BuildError& error, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace corvane
