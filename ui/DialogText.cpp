#include "ui/DialogText.h"

#include <limits>

#include "log/Utf8.h"
#include "ui/CaseFold.h"

namespace corvane {

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

bool equalsIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldCase(a[i]) != foldCase(b[i])) {
            return false;
        }
    }
    return true;
}

bool startsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::size_t findIgnoringCase(std::u16string_view text, std::u16string_view needle) {
    if (needle.size() > text.size()) {
        return std::u16string_view::npos;
    }
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        if (equalsIgnoringCase(text.substr(i, needle.size()), needle)) {
            return i;
        }
    }
    return std::u16string_view::npos;
}

std::int32_t readNumber(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    constexpr std::int64_t Limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        if (value < Limit) {
            value = value * 10 + (text[i] - u'0');
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (value < std::numeric_limits<std::int32_t>::min()) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(value);
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    appendUtf8(text, out);
    return out;
}

std::u16string fromUtf8(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t least = 0;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, least = 0x10000;
        } else {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
                break;
            }
            c = (c << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
        }
        if (j - i != static_cast<std::size_t>(extra) + 1 || c < least || c > 0x10FFFF ||
            (c >= 0xD800 && c <= 0xDFFF)) {
            out += u'\uFFFD';
            i = j;  // j > i: the lead byte and any continuation bytes are consumed
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i = j;
    }
    return out;
}

}  // namespace corvane
