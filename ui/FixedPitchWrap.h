#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace corvane {

// Where the log view's paragraphs break into displayed lines when its font is
// fixed-pitch: plain arithmetic on character counts, the same breaks Qt's
// text layout makes (word boundaries first, anywhere inside a word longer than
// the line), in one pass over the text. Qt's own layout scans the rest of a
// word for every line it ends inside that word, so a long run without a break
// opportunity costs it time quadratic in its length; a query name can be such
// a run of hundreds of thousands of characters.
//
// Widths are in 1/64 of a pixel, the unit Qt's layout adds in, so that every
// sum and comparison is exact.
constexpr std::int64_t FixedPitchUnitsPerPixel = 64;

// What a fixed-pitch font gives the characters below, as its text layout
// measures them.
struct FixedPitchMetrics {
    // The advance of every covered character; the soft hyphen's too when it
    // is shown as a hyphen at the end of a line (its width is 0 elsewhere).
    std::int32_t advance = 0;
    // How far each character's ink reaches past its advance (the negative
    // right bearing, as a positive number); the soft hyphen's is its hyphen's.
    std::array<std::int32_t, 256> overhang{};
    // The largest overhang of any glyph of the font: the layout looks at a
    // glyph's own overhang only when the line is within this of its width.
    std::int32_t largestOverhang = 0;
};

// Characters these rules cover: printable ASCII and Latin-1 from U+00A0 on.
// That is the whole alphabet of the log's lines, since every control
// character is written out as "\xHH" and a name's characters are its bytes.
bool fixedPitchCovers(char16_t c);

// The offset of each displayed line's first character, the first being 0,
// for a paragraph of covered characters wrapped at `width`; empty when the
// paragraph is one line. breakBefore[i] is non-zero where the Unicode line
// breaking rules allow a break before character i (index 0 and text.size()
// are not read; breakBefore holds text.size() + 1 entries). When `examined`
// is given, the characters looked at are added to it: a few times the
// text's length at most, whatever the text.
std::vector<int> fixedPitchLineStarts(std::u16string_view text,
                                      std::span<const std::uint8_t> breakBefore,
                                      const FixedPitchMetrics& metrics, std::int64_t width,
                                      std::int64_t* examined = nullptr);

}  // namespace corvane
