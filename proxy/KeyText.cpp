#include "proxy/KeyText.h"

namespace corvane {

KeyText::KeyText(std::int32_t value) {
    // Work on the magnitude unsigned so that -2147483648 has one too. Every
    // table lookup makes one of these, so the digits go straight to their
    // place, last digit first.
    const bool negative = value < 0;
    std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
    std::size_t at = chars_.size();
    do {
        chars_[--at] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        chars_[--at] = u'-';
    }
    start_ = at;
}

std::optional<std::uint16_t> transactionNumberOf(std::u16string_view key) {
    const bool negative = !key.empty() && key.front() == u'-';
    const std::u16string_view digits = key.substr(negative ? 1 : 0);
    // "-32768" is the longest key; "0" the only one that starts with a 0.
    if (digits.empty() || digits.size() > 5 || (digits.size() > 1 && digits.front() == u'0')) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        value = value * 10 + (c - u'0');
    }
    value = negative ? -value : value;
    if (value < -32768 || value > 32767 || (negative && value == 0)) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
}

}  // namespace corvane
