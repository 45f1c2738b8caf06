#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The program's one UTF-16 to UTF-8 encoder.

// Appends the UTF-8 form of 16-bit text. Surrogate pairs become one 4-byte
// sequence; a surrogate without its partner becomes U+FFFD, so the file never
// holds an invalid sequence whatever a query name contained.
void appendUtf8(std::u16string_view text, std::string& out);

// The same without repair, for names handed to the system, where a stand-in
// character would name another file: false, with out as it was before the
// call, when text holds a surrogate without its partner.
bool appendExactUtf8(std::u16string_view text, std::string& out);

}  // namespace corvane
