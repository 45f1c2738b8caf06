#include "proxy/StreamFramer.h"

#include <algorithm>

#include "proxy/DnsHeader.h"

namespace corvane {

namespace {

constexpr std::size_t MinMessageLength = DnsHeaderLength;
constexpr std::size_t KeptCapacity = 4096;

std::size_t readLength(const std::uint8_t* prefix) {
    return static_cast<std::size_t>(prefix[0]) << 8 | prefix[1];
}

}  // namespace

StreamFramer::Step StreamFramer::next(std::span<std::uint8_t> input) {
    if (malformed_) {
        return {Status::Malformed, 0, {}};
    }
    if (delivered_) {
        dropHeld();
    }
    // The common case: nothing held and the whole message in the input, which
    // is then handed out where it lies, without a copy.
    if (held_.empty() && input.size() >= PrefixLength) {
        const std::size_t length = readLength(input.data());
        if (length < MinMessageLength) {
            return fail(PrefixLength);
        }
        if (input.size() - PrefixLength >= length) {
            return {Status::Message, PrefixLength + length, input.subspan(PrefixLength, length)};
        }
    }
    return takeSplit(input);
}

StreamFramer::Step StreamFramer::takeSplit(std::span<std::uint8_t> input) {
    std::size_t taken = 0;
    if (held_.size() < PrefixLength) {
        taken = std::min(PrefixLength - held_.size(), input.size());
        held_.insert(held_.end(), input.begin(),
                     input.begin() + static_cast<std::ptrdiff_t>(taken));
        if (held_.size() < PrefixLength) {
            return {Status::NeedMore, taken, {}};
        }
        if (readLength(held_.data()) < MinMessageLength) {
            return fail(taken);
        }
        held_.reserve(PrefixLength + readLength(held_.data()));
    }
    const std::size_t total = PrefixLength + readLength(held_.data());
    const std::size_t more = std::min(total - held_.size(), input.size() - taken);
    const auto from = input.begin() + static_cast<std::ptrdiff_t>(taken);
    held_.insert(held_.end(), from, from + static_cast<std::ptrdiff_t>(more));
    taken += more;
    if (held_.size() < total) {
        return {Status::NeedMore, taken, {}};
    }
    delivered_ = true;
    return {Status::Message, taken, std::span<std::uint8_t>(held_).subspan(PrefixLength)};
}

StreamFramer::Step StreamFramer::fail(std::size_t consumed) {
    malformed_ = true;
    dropHeld();
    return {Status::Malformed, consumed, {}};
}

void StreamFramer::reset() {
    dropHeld();
    malformed_ = false;
}

void StreamFramer::dropHeld() {
    held_.clear();
    delivered_ = false;
    // A connection that once sent a large split message should not keep
    // 64 KiB for the small ones that follow.
    if (held_.capacity() > KeptCapacity) {
        held_ = {};
    }
}

bool writeLengthPrefix(std::size_t length, std::uint8_t* out) {
    if (length < MinMessageLength || length > StreamFramer::MaxMessageLength) {
        return false;
    }
    out[0] = static_cast<std::uint8_t>(length >> 8);
    out[1] = static_cast<std::uint8_t>(length & 0xFF);
    return true;
}

}  // namespace corvane
