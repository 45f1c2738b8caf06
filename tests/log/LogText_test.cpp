#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include "log/TimePrefix.h"
#include "log/Utf8.h"

namespace corvane {
namespace {

struct PrefixCase {
    std::int64_t seconds;
    const char16_t* expected;
    friend std::ostream& operator<<(std::ostream& os, const PrefixCase& c) {
        return os << c.seconds;
    }
};

class TimePrefixTest : public ::testing::TestWithParam<PrefixCase> {};

TEST_P(TimePrefixTest, FormatsTimeOfDay) {
    std::u16string out = u"kept";
    appendTimePrefix(GetParam().seconds, out);
    EXPECT_EQ(out, std::u16string(u"kept") + GetParam().expected);
}

constexpr std::int64_t SecondsPerDay = 86400;

INSTANTIATE_TEST_SUITE_P(
    Readings, TimePrefixTest,
    ::testing::Values(PrefixCase{0, u"00:00:00 | "},
                      // 08:04:03 on some day: the date never shows.
                      PrefixCase{19000 * SecondsPerDay + 8 * 3600 + 4 * 60 + 3, u"08:04:03 | "},
                      PrefixCase{21 * 3600 + 5 * 60 + 7, u"21:05:07 | "},
                      PrefixCase{SecondsPerDay - 1, u"23:59:59 | "},
                      PrefixCase{SecondsPerDay, u"00:00:00 | "},
                      // Past the end of 32-bit seconds (2038-01-19 03:14:08).
                      PrefixCase{std::int64_t{1} << 31, u"03:14:08 | "},
                      PrefixCase{std::numeric_limits<std::int64_t>::max(), u"15:30:07 | "},
                      // A clock that cannot represent the date reads -1.
                      PrefixCase{-1, u"00:00:00 | "}, PrefixCase{-3600, u"00:00:00 | "},
                      PrefixCase{std::numeric_limits<std::int64_t>::min(), u"00:00:00 | "}));

struct Utf8Case {
    const char* name;
    std::u16string text;
    std::string expected;
    friend std::ostream& operator<<(std::ostream& os, const Utf8Case& c) { return os << c.name; }
};

std::string repeated(const std::string& piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

class Utf8Test : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8Test, Encodes) {
    std::string out = "kept";
    appendUtf8(GetParam().text, out);
    EXPECT_EQ(out, "kept" + GetParam().expected);
}

// A query name's bytes arrive as characters U+0000..U+00FF; anything else
// can only come from our own messages, but must not corrupt the file either.
INSTANTIATE_TEST_SUITE_P(
    Texts, Utf8Test,
    ::testing::Values(
        Utf8Case{"Ascii", u"a.b-c", "a.b-c"},
        Utf8Case{"Nul", std::u16string(1, u'\0'), std::string(1, '\0')},
        Utf8Case{"EAcute", u"caf\u00E9", "caf\xC3\xA9"},
        Utf8Case{"Latin1Ends", u"\u0080\u00FF", "\xC2\x80\xC3\xBF"},
        Utf8Case{"ThreeBytes", u"\u0800\uFFFF", "\xE0\xA0\x80\xEF\xBF\xBF"},
        Utf8Case{"Pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
        Utf8Case{"HighestPair", u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        Utf8Case{"LoneHighAtEnd", std::u16string{u'x', char16_t(0xD800)}, "x\xEF\xBF\xBD"},
        Utf8Case{"LoneLow", std::u16string{char16_t(0xDC00), u'y'}, "\xEF\xBF\xBDy"},
        Utf8Case{"HighThenLetter", std::u16string{char16_t(0xDBFF), u'z'}, "\xEF\xBF\xBDz"},
        Utf8Case{"SwappedPair", std::u16string{char16_t(0xDC00), char16_t(0xD800)},
                 "\xEF\xBF\xBD\xEF\xBF\xBD"},
        // The widest outputs: three bytes for every unit, all the way.
        Utf8Case{"LongThreeByteRun", std::u16string(1000, u'\u0800'),
                 repeated("\xE0\xA0\x80", 1000)},
        Utf8Case{"LongLoneSurrogateRun", std::u16string(700, char16_t(0xDBFF)),
                 repeated("\xEF\xBF\xBD", 700)},
        Utf8Case{"PairsAfterAscii", u"ab\U0001F600\U0001F600",
                 "ab\xF0\x9F\x98\x80\xF0\x9F\x98\x80"}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace corvane
