#include "net/OutputQueue.h"

#include <algorithm>

namespace corvane {

namespace {

// A queue this large after a slow reader is freed rather than kept for the
// next burst: most peers never queue anything.
constexpr std::size_t MaxKeptCapacity = 16384;

}  // namespace

void OutputQueue::append(const std::uint8_t* data, std::size_t length) {
    if (length == 0) {
        return;
    }
    if (start_ > 0) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    bytes_.insert(bytes_.end(), data, data + length);
}

void OutputQueue::consume(std::size_t count) {
    start_ += std::min(count, size());
    if (start_ == bytes_.size()) {
        bytes_.clear();
        start_ = 0;
    }
}

void OutputQueue::clear() {
    bytes_.clear();
    start_ = 0;
    if (bytes_.capacity() > MaxKeptCapacity) {
        bytes_ = {};
    }
}

}  // namespace corvane
