#include "proxy/QuestionNames.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "ProxyFakes.h"

namespace corvane {
namespace {

using test::Bytes;
using test::message;

struct NamesCase {
    const char* label;
    std::uint16_t qdcount;
    Bytes section;
    std::vector<std::u16string> expected;
};

void PrintTo(const NamesCase& c, std::ostream* os) {
    *os << c.label;
}

// A 192-character label: the 0xC0 0x0C of a compression pointer is read as a
// label length and the first character.
Bytes longLabel() {
    Bytes bytes{0xC0, 0x0C};
    bytes.insert(bytes.end(), 191, 'x');
    bytes.insert(bytes.end(), {0, 0, 1, 0, 1});
    return bytes;
}

const NamesCase Cases[] = {
    {"abc", 1, {3, 'a', 'b', 'c', 0, 0, 1, 0, 1}, {u"abc"}},
    {"a.b", 1, {1, 'a', 1, 'b', 0, 0, 1, 0, 1}, {u"a.b"}},
    {"two names", 2, test::questions({"a.example", "b.example"}), {u"a.example", u"b.example"}},
    {"pointer as label", 1, longLabel(), {u"\u000C" + std::u16string(191, u'x')}},
    {"pointer then end", 1, {0xC0, 0x0C, 0, 0, 1, 0, 1}, {u"\u000C"}},
    {"high bytes", 1, {2, 0xE9, 0xFF, 0, 0, 1, 0, 1}, {u"\u00E9\u00FF"}},
    {"root alone", 1, {0, 0, 1, 0, 1}, {}},
    {"root then name", 2, {0, 0, 1, 0, 1, 1, 'a', 0, 0, 1, 0, 1}, {u"a"}},
    {"zero inside label", 2, {5, 'a', 'b', 0, 0, 1, 0, 1, 1, 'c', 0, 0, 1, 0, 1}, {u"ab", u"c"}},
    {"label longer than rest", 2, {1, 'a', 0, 0, 1, 0, 1, 9, 'x', 'y'}, {u"a"}},
    {"name without end", 1, {3, 'a', 'b', 'c'}, {}},
    {"count 0", 0, test::questions({"a"}), {}},
    {"count read big-endian", 1, test::questions({"a", "b"}), {u"a"}},
    {"count 0x8000", 0x8000, test::questions({"a", "b", "c"}), {u"a", u"b", u"c"}},
    {"count 0xFFFF is 1", 0xFFFF, test::questions({"a", "b"}), {u"a"}},
    {"count 0xFFFE is 2", 0xFFFE, test::questions({"a", "b", "c"}), {u"a", u"b"}},
    {"no section", 3, {}, {}},
    {"type and class cut", 2, {1, 'a', 0, 0, 1}, {u"a"}},
    {"type and class cut, one name", 1, {1, 'a', 0, 0}, {u"a"}},
    {"class cut after a name", 3, {1, 'a', 0, 0, 1, 0, 1, 1, 'b', 0, 0, 1, 0}, {u"a", u"b"}},
};

class QuestionNamesRead : public testing::TestWithParam<NamesCase> {
protected:
    std::vector<std::u16string> readFrom(const std::uint8_t* bytes, std::int32_t length) {
        names_.read(bytes, length);
        std::vector<std::u16string> out;
        for (std::size_t i = 0; i < names_.count(); ++i) {
            out.emplace_back(names_.name(i));
            EXPECT_EQ(std::u16string(names_.terminatedName(i)), out.back());
        }
        return out;
    }
    QuestionNames names_;
};

TEST_P(QuestionNamesRead, ExactLengthBuffer) {
    // Held in a block of exactly this size, so a sanitizer build catches any
    // read past the end.
    const Bytes datagram = message(0x12, 0x34, GetParam().qdcount, GetParam().section);
    const auto length = static_cast<std::int32_t>(datagram.size());
    auto exact = std::make_unique<std::uint8_t[]>(datagram.size());
    std::copy(datagram.begin(), datagram.end(), exact.get());
    EXPECT_EQ(readFrom(exact.get(), length), GetParam().expected);
}

TEST_P(QuestionNamesRead, IgnoresWhatLiesPastLength) {
    // Leftovers of a longer earlier datagram: from whatever offset a reader
    // strayed into them, they read as a name of 0x01 characters, then end.
    Bytes buffer = message(0x12, 0x34, GetParam().qdcount, GetParam().section);
    const auto length = static_cast<std::int32_t>(buffer.size());
    buffer.insert(buffer.end(), 64, 0x01);
    buffer.insert(buffer.end(), {0, 0, 1, 0, 1});
    EXPECT_EQ(readFrom(buffer.data(), length), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Datagrams, QuestionNamesRead, testing::ValuesIn(Cases),
                         [](const testing::TestParamInfo<NamesCase>& param) {
                             std::string name;
                             for (const char* c = param.param.label; *c != 0; ++c) {
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             }
                             return name;
                         });

TEST(QuestionNames, ShortHeaderHasNoNamesAndReuseForgetsEarlierOnes) {
    QuestionNames names;
    const Bytes full = message(0, 0, 1, test::questions({"a"}));
    names.read(full.data(), static_cast<std::int32_t>(full.size()));
    EXPECT_EQ(names.count(), 1u);
    names.read(full.data(), 11);
    EXPECT_EQ(names.count(), 0u);
}

}  // namespace
}  // namespace corvane
