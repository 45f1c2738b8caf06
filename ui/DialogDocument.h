#pragma once

#include <string_view>

namespace corvane {

// The program's only window, declared as one line of XML that the program
// carries as text: the log view on the left, a column with two inert buttons
// and a disabled credit line on the right.
extern const std::u16string_view dialogDocument;

}  // namespace corvane
