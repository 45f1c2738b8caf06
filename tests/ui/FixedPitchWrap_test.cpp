// The fixed-pitch line breaking's cost on the worst texts, on a made-up font
// of 8-pixel characters, and the alphabet it must cover. That it breaks
// where Qt's layout breaks is held against Qt itself (LogViewWrap_test and
// logview_fuzzer).
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
    return metrics;
}

// Break opportunities after spaces only.
std::vector<std::uint8_t> breaksAfterSpaces(std::u16string_view text) {
    std::vector<std::uint8_t> breaks(text.size() + 1, 0);
    for (std::size_t i = 1; i < text.size(); ++i) {
        breaks[i] = text[i - 1] == u' ' && text[i] != u' ';
    }
    return breaks;
}

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
        const auto breaks = breaksAfterSpaces(*text);
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
