#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Appends text so that it stays on one line whatever it holds, and so that
// the line says unambiguously what the text held: every control character
// (U+0000 to U+001F, U+007F to U+009F) and the backslash are written as
// "\xHH" with two upper-case hexadecimal digits; everything else is copied
// as it is.
//
// Log messages carry text from the network (a question name may hold any
// byte), and a CR or LF in it would break the log's lines, or forge whole
// lines that the program never wrote; an unescaped backslash would let a
// name spell out an escape and pass for another name.
void appendOneLine(std::u16string_view text, std::u16string& out);

}  // namespace corvane
