#include "net/OutputQueue.h"

#include <algorithm>

namespace corvane {

namespace {

// A queue this large after a slow reader is freed rather than kept for the
// next burst: most peers never queue anything.
constexpr std::size_t MaxKeptCapacity = 16384;

}  // namespace

void OutputQueue::append(std::span<const std::uint8_t> first,
                         std::span<const std::uint8_t> second) {
    if (first.empty() && second.empty()) {
        return;
    }
    if (start_ > 0) {
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(start_));
        start_ = 0;
    }
    // The one allocation comes first; the copies after it cannot fail, so a
    // part is never queued without the other. It doubles, as insert would,
    // so a queue filling under a slow reader is not copied for every message.
    const std::size_t needed = bytes_.size() + first.size() + second.size();
    if (needed > bytes_.capacity()) {
        bytes_.reserve(std::max(needed, 2 * bytes_.capacity()));
    }
    bytes_.insert(bytes_.end(), first.begin(), first.end());
    bytes_.insert(bytes_.end(), second.begin(), second.end());
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
