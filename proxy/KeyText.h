#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "net/NetTypes.h"

namespace corvane {

// The decimal text under which a record is filed: a leading "-" for negative
// values, no plus sign, no spaces, no leading zeros. Held on the stack so that
// looking a record up costs no allocation.
class KeyText {
public:
    explicit KeyText(std::int32_t value);

    std::u16string_view view() const { return {chars_.data() + start_, chars_.size() - start_}; }

private:
    // "-2147483648" is the longest text: 11 characters. The text is written
    // from the end backwards and ends at the end of the array.
    std::array<char16_t, 11> chars_;
    std::size_t start_ = 0;
};

// Key of a query in flight: the 16-bit transaction number read as signed, so
// 0xFFFF is "-1" and 0x8000 is "-32768".
inline KeyText transactionKey(std::uint16_t number) {
    return KeyText(static_cast<std::int16_t>(number));
}

// The same key taken from a message: its first byte is the low byte of the
// number, the order in which the query path writes it.
inline KeyText transactionKey(std::uint8_t firstByte, std::uint8_t secondByte) {
    return transactionKey(static_cast<std::uint16_t>(firstByte | (secondByte << 8)));
}

// The number a transaction key was made from; none for a text that is no
// such key.
std::optional<std::uint16_t> transactionNumberOf(std::u16string_view key);

// Key of a client: its ConnectionId read as a signed 32-bit number.
inline KeyText clientKey(ConnectionId id) {
    return KeyText(static_cast<std::int32_t>(id));
}

}  // namespace corvane
