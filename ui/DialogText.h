#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Text helpers shared by the XML tree, the dialog build and the readers of
// its tags, flags and layout attributes. Dialog text is UTF-16 throughout;
// keywords and names compare ignoring case.

bool isBlank(char16_t c);

// Case-insensitive comparison of whole texts, code unit by code unit with
// Unicode simple case folding.
bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b);
bool startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);
// Position of the first case-insensitive occurrence of needle, or npos.
std::size_t findIgnoringCase(std::u16string_view text, std::u16string_view needle);

// A decimal integer as documents write it: leading blanks, an optional sign,
// digits; reading stops at the first other character and text without digits
// reads 0. Values beyond the 32-bit range are held at its ends rather than
// wrapping into a number nobody wrote.
std::int32_t readNumber(std::u16string_view text);

// UTF-16 <-> UTF-8. Unpaired surrogates become U+FFFD; invalid UTF-8 bytes too.
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

}  // namespace corvane
