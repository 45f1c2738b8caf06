#include "log/Utf8.h"

#include <cstdint>

namespace corvane {

namespace {

constexpr char32_t Replacement = 0xFFFD;

enum class LoneSurrogate { Replace, Refuse };

bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

char* putCodePoint(char32_t cp, char* out) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Writes the UTF-8 form of text from `at`, which has room for 3 bytes per
// 16-bit unit (no unit takes more; a pair takes 4 for 2), and returns the
// end of what it wrote; nullptr when it meets a lone surrogate it must refuse.
char* encode(std::u16string_view text, char* at, LoneSurrogate lone) {
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            *at++ = static_cast<char>(c);
        } else if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text[i + 1])) {
            const char32_t high = c - 0xD800u;
            const char32_t low = text[i + 1] - 0xDC00u;
            at = putCodePoint(0x10000 + (high << 10) + low, at);
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            if (lone == LoneSurrogate::Refuse) {
                return nullptr;
            }
            at = putCodePoint(Replacement, at);
        } else {
            at = putCodePoint(c, at);
        }
    }
    return at;
}

// Every line of the log goes through here, so the bytes are written through
// a pointer into room made once, not appended one at a time.
bool append(std::u16string_view text, std::string& out, LoneSurrogate lone) {
    const std::size_t start = out.size();
    out.resize(start + 3 * text.size());
    char* const end = encode(text, out.data() + start, lone);
    if (end == nullptr) {
        out.resize(start);
        return false;
    }
    out.resize(static_cast<std::size_t>(end - out.data()));
    return true;
}

}  // namespace

void appendUtf8(std::u16string_view text, std::string& out) {
    append(text, out, LoneSurrogate::Replace);
}

bool appendExactUtf8(std::u16string_view text, std::string& out) {
    return append(text, out, LoneSurrogate::Refuse);
}

}  // namespace corvane
