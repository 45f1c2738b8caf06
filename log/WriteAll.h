#pragma once

#include <atomic>
#include <cstddef>

namespace corvane {

// Writes size bytes of data to fd, resuming after interruptions (EINTR) and
// partial writes. Stops at the first error, and at a write that reports 0
// bytes, which would otherwise be retried for ever. Returns how many bytes
// were written.
//
// progress, when given, is advanced by each write as soon as it returns, so
// that a signal handler reading it never takes bytes already written for
// pending ones (the log file's fault flush relies on this).
//
// Only write(2) and lock-free atomics: async-signal-safe.
std::size_t writeAll(int fd, const char* data, std::size_t size,
                     std::atomic<std::size_t>* progress = nullptr) noexcept;

}  // namespace corvane
