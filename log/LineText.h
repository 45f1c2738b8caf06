#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Appends text so that it stays on one line whatever it holds: every control
// character (U+0000 to U+001F, U+007F to U+009F) is written as "\xHH" with
// two upper-case hexadecimal digits; everything else is copied as it is.
//
// Log messages carry text from the network (a question name may hold any
// byte), and a CR or LF in it would break the log's lines, or forge whole
// lines that the program never wrote.
void appendOneLine(std::u16string_view text, std::u16string& out);

}  // namespace corvane
