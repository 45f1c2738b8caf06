#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// The log file of one run: created afresh at the first successful open,
// starting with the UTF-8 byte order mark, and kept open until destruction.
// Only a regular file is taken: a symbolic link in the file's place is not
// followed, and a FIFO, a device or a folder there is refused, without being
// emptied or blocking the open. A file another running Corvane writes to (it
// holds the file's advisory lock, which every open takes before emptying the
// file) is refused too, and keeps its lines. A refusal counts as a failed open
// (the next open tries again) and is said on standard error, once for each
// reason.
//
// Writes go through a 4096-byte buffer. A write strictly smaller than the
// free space is copied into it; any other write first writes out what is
// buffered, then goes straight to the file when it is 4096 bytes or more, or
// starts the emptied buffer when smaller. Nothing flushes per line: the file
// trails the caller by up to one buffer until flush() or the destructor
// writes out the rest.
//
// The file stays made of whole lines (each ends with LF) when the disk is
// full. A write that comes up short leaves the file cut back to the end of
// its last whole line, and the lines it could not write are dropped, to the
// end of the line they stop in, even when that end comes in a later write.
// Later writes go on as usual.
//
// Owns its descriptor and the lock. Main thread only, except flushForFault().
class LogFile {
public:
    static constexpr std::size_t BufferSize = 4096;

    explicit LogFile(std::string path);
    ~LogFile();

    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens the file unless it is open already; true when it is open after
    // the call. A failed open leaves the object closed so that the next call
    // tries again from the start.
    bool open();
    bool isOpen() const { return fd_ >= 0; }

    // Buffered write; does nothing while the file is not open.
    void write(std::string_view bytes);

    // Writes out the buffered bytes now.
    void flush();

    // True while bytes wait in the buffer.
    bool hasBuffered() const {
        return begin_.load(std::memory_order_relaxed) < used_.load(std::memory_order_relaxed);
    }

    // For the fault handler and the exit handlers: writes out the buffered
    // bytes of the log file opened last (nothing once that one is
    // destroyed), at most once. Async-signal-safe: it uses only write(2),
    // ftruncate(2), lseek(2) and lock-free atomics, allocates nothing and
    // takes no lock. It assumes it runs on the main thread (the only one that
    // writes to the log), in a handler or after the program's last line, and
    // that the process ends right after it; normal writing must not resume,
    // since a buffered write interrupted by a fault may have been cut short
    // (its bytes are then partly lost, never duplicated or reordered).
    static void flushForFault() noexcept;

private:
    bool tryOpen();
    void refuse(unsigned reason, const char* why);
    void writeOut(const char* data, std::size_t size,
                  std::atomic<std::size_t>* progress = nullptr) noexcept;
    std::size_t skipCutLine(const char* data, std::size_t size) noexcept;
    void noteWritten(const char* data, std::size_t size) noexcept;
    bool cutBackToLineStart() noexcept;

    std::string path_;
    int fd_ = -1;
    // The buffered bytes are buffer_[begin_, used_). begin_ moves while a
    // flush is under way, so that a fault in the middle of one does not
    // write the same bytes twice. Atomic because the fault handler reads
    // them from a signal handler.
    std::atomic<std::size_t> begin_{0};
    std::atomic<std::size_t> used_{0};
    std::array<char, BufferSize> buffer_{};
    unsigned refusalsSaid_ = 0;  // the reasons said on standard error so far

    // Where the file stands: its size, and where its last line (whole or
    // not) starts. The first starts after the byte order mark.
    std::uint64_t fileSize_ = 0;
    std::uint64_t lineStart_ = 0;
    // A write came up short: the file ends inside a line that will never be
    // finished, until it is cut back to lineStart_.
    bool cut_ = false;
    // The rest of a line that could not be written is still to come; it is
    // dropped up to its end.
    bool skipping_ = false;
};

}  // namespace corvane
