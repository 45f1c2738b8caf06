// The rules of the fixed-pitch line breaking on a made-up font of 8-pixel
// characters (that they are Qt's rules is held by LogViewWrap_test, against
// Qt's layout), its cost on the worst texts, and the alphabet it must cover.
#include "ui/FixedPitchWrap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log/LineText.h"

namespace corvane {
namespace {

constexpr std::int64_t Pixel = FixedPitchUnitsPerPixel;

FixedPitchMetrics eightPixelFont() {
    FixedPitchMetrics metrics;
    metrics.advance = static_cast<std::int32_t>(8 * Pixel);
    metrics.overhang[u'W'] = static_cast<std::int32_t>(Pixel);  // its ink: one pixel too far
    metrics.largestOverhang = static_cast<std::int32_t>(Pixel);
    return metrics;
}

// Break opportunities after spaces and soft hyphens only, enough for rules.
std::vector<std::uint8_t> breaksAfterSpacesAndSoftHyphens(std::u16string_view text) {
    std::vector<std::uint8_t> breaks(text.size() + 1, 0);
    for (std::size_t i = 1; i < text.size(); ++i) {
        breaks[i] = (text[i - 1] == u' ' && text[i] != u' ') || text[i - 1] == 0x00AD;
    }
    return breaks;
}

struct BreakCase {
    const char* rule;
    std::u16string text;
    int widthPixels;
    std::vector<int> starts;
};

class FixedPitchRules : public testing::TestWithParam<BreakCase> {};

TEST_P(FixedPitchRules, BreakWhereTheLayoutBreaks) {
    const BreakCase& c = GetParam();
    const auto breaks = breaksAfterSpacesAndSoftHyphens(c.text);
    EXPECT_EQ(fixedPitchLineStarts(c.text, breaks, eightPixelFont(), c.widthPixels * Pixel),
              c.starts);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, FixedPitchRules,
    testing::Values(
        BreakCase{"words go on while they fit", u"aaaa bbbb cccc", 72, {0, 10}},
        BreakCase{"spaces hang at the line's end", u"aaaa    bbbb", 32, {0, 8}},
        BreakCase{"a word wider than the line breaks anywhere", u"abcdefghij", 32, {0, 4, 8}},
        BreakCase{"spaces wider than the line end it", u"ab          cd", 32, {0, 12}},
        BreakCase{"ink past the edge moves its glyph on", u"aaaW", 32, {0, 3}},
        BreakCase{"a soft hyphen shows only where the line breaks", u"abc\u00ADdef", 32, {0, 4}},
        BreakCase{"a shown soft hyphen needs its room", u"abc\u00ADdef", 24, {0, 3}},
        BreakCase{"narrower than one character: one a line", u"abc", 1, {0, 1, 2}}),
    [](const testing::TestParamInfo<BreakCase>& param) {
        std::string name;
        for (const char* c = param.param.rule; *c != '\0'; ++c) {
            const bool letter = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z');
            name += letter ? *c : '_';
        }
        return name;
    });

// A query name can be a run of a quarter of a million characters with no
// break opportunity, or a run of spaces as long: each line's scan stops at
// the line's end, instead of running on to the end of the word every time.
TEST(FixedPitchCost, ExaminesEachCharacterAFewTimesAtMost) {
    constexpr std::size_t Length = 260000;
    const std::u16string noBreak(Length, u'x');
    const std::u16string spaces = u"a" + std::u16string(Length, u' ') + u"b";
    std::u16string wordsAndSpaces;
    while (wordsAndSpaces.size() < Length) {
        wordsAndSpaces += u"wordwordwordwordword" + std::u16string(200, u' ');
    }
    const std::u16string* const texts[] = {&noBreak, &spaces, &wordsAndSpaces};
    for (const std::u16string* text : texts) {
        const auto breaks = breaksAfterSpacesAndSoftHyphens(*text);
        std::int64_t examined = 0;
        const auto starts =
            fixedPitchLineStarts(*text, breaks, eightPixelFont(), 600 * Pixel, &examined);
        EXPECT_FALSE(starts.empty());
        EXPECT_LE(examined, 3 * static_cast<std::int64_t>(text->size()));
    }
}

// Every character a log line can hold is one the arithmetic covers, so no
// name steers the view onto Qt's layout: control characters are escaped and
// a name's characters are its bytes.
TEST(FixedPitchCoverage, EveryByteOfANameIsLoggedInCoveredCharacters) {
    for (char16_t byte = 0; byte < 0x100; ++byte) {
        std::u16string logged;
        appendOneLine(std::u16string(1, byte), logged);
        for (char16_t c : logged) {
            EXPECT_TRUE(fixedPitchCovers(c)) << "byte " << static_cast<int>(byte);
        }
    }
    EXPECT_FALSE(fixedPitchCovers(u'\t'));
    EXPECT_FALSE(fixedPitchCovers(0x0100));
    EXPECT_FALSE(fixedPitchCovers(0x4E2D));
}

}  // namespace
}  // namespace corvane
