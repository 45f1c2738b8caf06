#include "ui/BuildError.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace corvane {

namespace {

constexpr std::size_t LongestText = 511;

// A cut may split a character; drop its leading bytes rather than keep a
// text that is not UTF-8.
void dropCutCharacter(std::string& text) {
    std::size_t i = text.size();
    while (i > 0 && (static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80) {
        --i;
    }
    if (i > 0 && (static_cast<unsigned char>(text[i - 1]) & 0x80) != 0) {
        const auto lead = static_cast<unsigned char>(text[i - 1]);
        const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (text.size() - (i - 1) < need) {
            text.resize(i - 1);
        }
    }
}

}  // namespace

void recordBuildError(BuildError& error, const char* format, ...) {
    if (error) {
        return;
    }
    char buffer[LongestText + 1];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    const std::size_t written = n < 0 ? 0 : static_cast<std::size_t>(n);
    std::string text(buffer, std::min(written, LongestText));
    if (written > LongestText) {
        dropCutCharacter(text);
    }
    error = std::move(text);
}

}  // namespace corvane
