#pragma once

namespace corvane {

// Unicode simple case folding of one UTF-16 code unit; a unit without a
// folding (surrogates included) is returned as it is. Dialog keywords, tags
// and names compare through it, so "Window", "WINDOW" and "window" are one.
char16_t foldCase(char16_t c);

}  // namespace corvane
