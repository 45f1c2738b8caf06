#pragma once

#include <cstddef>
#include <cstdint>

#include "log/FaultText.h"

namespace corvane {

// Where a fault happened, as the report names it: the title of the system's
// own source file (no directory, no extension) and the line in it.
struct SourcePosition {
    char file[FileTitleCapacity];
    std::uint32_t line;
};

// The position named when nothing better is known: the main file, line 0.
SourcePosition unknownSourcePosition() noexcept;

// Whether a source file that the debug information names is one of the
// system's own: a path under sourceRoot (sourceRootLength characters, no
// trailing '/'), or a relative one. A relative name is relative to its
// compile's folder, which the look-up does not give; only a source named
// relatively on the compiler's command line has one, as the build's own
// files do when a compiler cache rewrites the paths under its base folder,
// while the system's headers are always found by absolute paths.
bool isOwnSource(const char* filename, const char* sourceRoot,
                 std::size_t sourceRootLength) noexcept;

// How the line helper hands a position back to the faulted process: the line
// in decimal, one space, the file title, a line feed; nothing else.
inline constexpr std::size_t PositionAnswerCapacity = 10 + 1 + FileTitleCapacity + 1;

// Writes the answer for position into out, NUL-terminated; returns its
// length, or 0 when capacity is below PositionAnswerCapacity.
std::size_t formatPositionAnswer(const SourcePosition& position, char* out,
                                 std::size_t capacity) noexcept;

// Reads an answer. False, with position untouched, unless text is exactly
// one well-formed answer: the bytes come from another process, so a line
// that does not fit 32 bits, an empty title or one that holds a '/' or a NUL
// is refused. Async-signal-safe.
bool parsePositionAnswer(const char* text, std::size_t length, SourcePosition& position) noexcept;

}  // namespace corvane
