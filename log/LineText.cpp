#include "log/LineText.h"

namespace corvane {

namespace {

bool needsEscape(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == u'\\';
}

}  // namespace

void appendOneLine(std::u16string_view text, std::u16string& out) {
    static constexpr char16_t Hex[] = u"0123456789ABCDEF";
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (!needsEscape(c)) {
            continue;
        }
        out.append(text.substr(start, i - start));
        out.append(u"\\x");
        out.push_back(Hex[(c >> 4) & 0xF]);
        out.push_back(Hex[c & 0xF]);
        start = i + 1;
    }
    out.append(text.substr(start));
}

}  // namespace corvane
