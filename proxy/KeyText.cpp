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

}  // namespace corvane
