#include "proxy/KeyText.h"

namespace corvane {

KeyText::KeyText(std::int32_t value) {
    // Work on the magnitude in 64 bits so that -2147483648 has one too.
    std::int64_t magnitude = value;
    const bool negative = magnitude < 0;
    if (negative) {
        magnitude = -magnitude;
    }
    std::array<char16_t, 10> reversed{};
    std::size_t digits = 0;
    do {
        reversed[digits++] = static_cast<char16_t>(u'0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) {
        chars_[length_++] = u'-';
    }
    while (digits != 0) {
        chars_[length_++] = reversed[--digits];
    }
}

}  // namespace corvane
