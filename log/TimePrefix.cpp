#include "log/TimePrefix.h"

namespace corvane {

namespace {

constexpr std::int64_t SecondsPerDay = 86400;

void putTwoDigits(char16_t* at, std::int64_t value) {
    at[0] = static_cast<char16_t>(u'0' + value / 10);
    at[1] = static_cast<char16_t>(u'0' + value % 10);
}

}  // namespace

void appendTimePrefix(std::int64_t localSeconds, std::u16string& out) {
    // Negative readings never reach the modulo, so every digit is 0..9.
    const std::int64_t ofDay = localSeconds < 0 ? 0 : localSeconds % SecondsPerDay;
    char16_t text[TimePrefixLength] = {u'0', u'0', u':', u'0', u'0', u':',
                                       u'0', u'0', u' ', u'|', u' '};
    putTwoDigits(text, ofDay / 3600);
    putTwoDigits(text + 3, ofDay / 60 % 60);
    putTwoDigits(text + 6, ofDay % 60);
    out.append(text, TimePrefixLength);
}

}  // namespace corvane
