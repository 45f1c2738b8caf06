#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Appends the UTF-8 form of 16-bit text. Surrogate pairs become one 4-byte
// sequence; a surrogate without its partner becomes U+FFFD, so the file never
// holds an invalid sequence whatever a query name contained.
void appendUtf8(std::u16string_view text, std::string& out);

}  // namespace corvane
