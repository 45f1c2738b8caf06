#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace corvane {

// The bytes a stream peer or link still owes the system: what connSend took
// but the socket did not accept yet, in the order it was given. The bytes
// already handed on are dropped from the front lazily, on the next append, so
// a flush that stops part-way costs no move.
class OutputQueue {
public:
    std::size_t size() const { return bytes_.size() - start_; }
    bool empty() const { return size() == 0; }
    // The first byte still owed; valid until the next append or clear.
    const std::uint8_t* data() const { return bytes_.data() + start_; }

    // Appends first, then second: both or neither. Throws std::bad_alloc and
    // then leaves the queue as it was.
    void append(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second = {});
    // Drops count bytes from the front (count at most size()).
    void consume(std::size_t count);
    // Drops everything; a queue that grew large gives its memory back.
    void clear();

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t start_ = 0;
};

}  // namespace corvane
