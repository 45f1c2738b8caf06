#include "DomainSet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <ostream>
#include <random>
#include <set>
#include <string>

namespace corvane::blocklist {
namespace {

std::u16string queryText(std::string_view bytes) {
    std::u16string text;
    for (const char c : bytes) {
        text.push_back(static_cast<unsigned char>(c));
    }
    return text;
}

DomainSet setOf(std::initializer_list<std::string_view> list) {
    DomainSet::Builder names;
    for (const std::string_view name : list) {
        EXPECT_TRUE(names.add(name)) << name;
    }
    return names.build();
}

struct LookupCase {
    const char* query;
    bool found;
};

void PrintTo(const LookupCase& row, std::ostream* out) {
    *out << '"' << row.query << '"' << (row.found ? " found" : " not found");
}

class DomainSetLookup : public testing::TestWithParam<LookupCase> {
protected:
    static DomainSet listed() {
        DomainSet::Builder names;
        for (const char* name : {"example.com", "Ads.Tracker.NET", "x.y", "caf\xE9.example",
                                 "deep.a.b.c.d.e.f.g.h.example.org"}) {
            EXPECT_TRUE(names.add(name));
        }
        return names.build();
    }
};

TEST_P(DomainSetLookup, MatchesTheNameAndItsSubdomainsOnly) {
    EXPECT_EQ(listed().containsSelfOrParent(queryText(GetParam().query)), GetParam().found)
        << GetParam().query;
}

INSTANTIATE_TEST_SUITE_P(
    Names, DomainSetLookup,
    testing::Values(LookupCase{"example.com", true}, LookupCase{"www.example.com", true},
                    LookupCase{"a.b.c.d.e.f.g.example.com", true}, LookupCase{"EXAMPLE.Com", true},
                    LookupCase{"ads.tracker.net", true}, LookupCase{"x.ADS.TRACKER.NET", true},
                    LookupCase{"x.y", true},
                    // A parent is a whole-label suffix, not any suffix.
                    LookupCase{"badexample.com", false}, LookupCase{"tracker.net", false},
                    LookupCase{"xads.tracker.net", false}, LookupCase{"com", false},
                    LookupCase{"example.com.evil", false}, LookupCase{"example.co", false},
                    LookupCase{"xample.com", false}, LookupCase{"y", false}, LookupCase{"", false},
                    LookupCase{".", false},
                    // Bytes 0x80..0xFF compare exactly and are not case-folded.
                    LookupCase{"caf\xE9.example", true}, LookupCase{"www.CAF\xE9.EXAMPLE", true},
                    LookupCase{"caf\xC9.example", false}, LookupCase{"cafe.example", false},
                    LookupCase{"e.f.g.h.example.org", false},
                    LookupCase{"1.deep.a.b.c.d.e.f.g.h.example.org", true}));

TEST(DomainSet, CharactersAboveOneByteNeverMatch) {
    const DomainSet set = setOf({"example.com", "\xE9"});
    // U+0165 folded to one byte would read as 'e' (0x65).
    EXPECT_FALSE(set.containsSelfOrParent(u"\u0165xample.com"));
    EXPECT_FALSE(set.containsSelfOrParent(u"\u01E9"));
    // A wide character to the left still leaves the parents that follow it.
    EXPECT_TRUE(set.containsSelfOrParent(u"\u4E2D.example.com"));
}

TEST(DomainSet, ParentListedAfterItsSubdomainIsStillFound) {
    // The parent is known as one when the subdomain is stored; being a
    // parent must neither match by itself nor hide the parent stored later.
    DomainSet set = setOf({"ads.tracker.example"});
    EXPECT_FALSE(set.containsSelfOrParent(u"tracker.example"));
    EXPECT_FALSE(set.containsSelfOrParent(u"other.tracker.example"));
    set = setOf({"ads.tracker.example", "tracker.example"});
    EXPECT_TRUE(set.containsSelfOrParent(u"tracker.example"));
    EXPECT_TRUE(set.containsSelfOrParent(u"other.tracker.example"));
    EXPECT_TRUE(set.containsSelfOrParent(u"x.ads.tracker.example"));
    EXPECT_FALSE(set.containsSelfOrParent(u"example"));
    EXPECT_EQ(set.size(), 2u);
}

TEST(DomainSet, RejectsEmptyAndOverlongNamesAndStoresDuplicatesOnce) {
    DomainSet::Builder names;
    EXPECT_FALSE(names.add(""));
    EXPECT_FALSE(names.add(std::string(254, 'a')));
    EXPECT_TRUE(names.add(std::string(253, 'a')));
    EXPECT_TRUE(names.add("Example.com"));
    EXPECT_TRUE(names.add("EXAMPLE.COM"));
    EXPECT_TRUE(names.add("example.com"));
    const DomainSet set = names.build();
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(set.containsSelfOrParent(queryText(std::string(253, 'a'))));
}

TEST(DomainSet, FindsParentsOfNamesLongerThanAnyStoredName) {
    const DomainSet set = setOf({"example.com"});
    const std::string longLabelChain = std::string(400, 'a') + ".example.com";
    EXPECT_TRUE(set.containsSelfOrParent(queryText(longLabelChain)));
    std::string manyLabels;
    for (int i = 0; i < 200; ++i) {
        manyLabels += "a.";
    }
    EXPECT_TRUE(set.containsSelfOrParent(queryText(manyLabels + "example.com")));
    EXPECT_FALSE(set.containsSelfOrParent(queryText(manyLabels + "example.org")));
}

// Query text does not escape a '.' inside a label, so a name of dots alone
// has a suffix at every character: 252 of them in the 270-byte query of four
// labels of dots, and a TCP message may carry a name far longer still. Only
// the last MaxNameLength characters can hold a listed name.
TEST(DomainSet, NamesOfDotsHaveASuffixAtEveryCharacter) {
    const DomainSet set = setOf({"example.com", "a"});
    for (const std::size_t length : {252, 253, 254, 65000}) {
        const std::u16string dots(length, u'.');
        EXPECT_EQ(QueryName(dots).suffixCount(), std::min(length, MaxNameLength)) << length;
        EXPECT_FALSE(set.containsSelfOrParent(dots)) << length;
        EXPECT_TRUE(set.containsSelfOrParent(dots + u"a")) << length;
        EXPECT_TRUE(set.containsSelfOrParent(dots + u"example.com")) << length;
    }
}

// The builder takes names of any bytes; those of dots side by side have a
// mark at every byte, more than names a list parses to ever have.
TEST(DomainSet, BuildsSetsOfNamesOfDots) {
    DomainSet::Builder names;
    for (std::size_t length = MaxNameLength; length > MaxNameLength - 20; --length) {
        ASSERT_TRUE(names.add(std::string(length, '.')));
    }
    ASSERT_TRUE(names.add("example.com"));
    const DomainSet set = names.build();
    EXPECT_EQ(set.size(), 21u);
    EXPECT_TRUE(set.containsSelfOrParent(std::u16string(MaxNameLength, u'.')));
    EXPECT_TRUE(set.containsSelfOrParent(u"www.example.com"));
}

TEST(DomainSet, KeepsEveryNameOfABigList) {
    // Enough names that probe chains run into each other and wrap past the
    // table's end; every one stays findable and near misses stay misses.
    DomainSet::Builder names;
    constexpr int count = 20000;
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(names.add("host" + std::to_string(i) + ".example"));
    }
    const DomainSet set = names.build();
    EXPECT_EQ(set.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(set.containsSelfOrParent(queryText("host" + std::to_string(i) + ".example")))
            << i;
        ASSERT_FALSE(set.containsSelfOrParent(queryText("host" + std::to_string(i) + ".exampl")))
            << i;
    }
    EXPECT_FALSE(set.containsSelfOrParent(u"host20000.example"));
}

// Random names from a few short labels, so that names are often parents,
// subdomains and case variants of each other, against a plain set of every
// stored name: the answer must be the same for every query, also with the
// filter sized for a big list and a small one.
TEST(DomainSet, AgreesWithAPlainSetOnRandomNames) {
    std::mt19937_64 random(20240601);
    const std::array<std::string_view, 7> labels = {"a", "B", "c", "ab", "x-1", "\xE9", "com"};
    auto randomName = [&] {
        std::string name(labels[random() % labels.size()]);
        for (std::size_t extra = random() % 4; extra > 0; --extra) {
            name = std::string(labels[random() % labels.size()]) + "." + name;
        }
        return name;
    };
    auto folded = [](std::string name) {
        for (char& c : name) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        }
        return name;
    };
    for (const std::size_t count : {10, 300, 3000}) {
        DomainSet::Builder names;
        std::set<std::string> reference;
        for (std::size_t i = 0; i < count; ++i) {
            const std::string name = randomName();
            ASSERT_TRUE(names.add(name));
            reference.insert(folded(name));
        }
        const DomainSet set = names.build();
        EXPECT_EQ(set.size(), reference.size());
        for (int i = 0; i < 5000; ++i) {
            const std::string query = randomName();
            const std::string lower = folded(query);
            bool expected = reference.count(lower) != 0;
            for (std::size_t dot = lower.find('.'); dot != std::string::npos && !expected;
                 dot = lower.find('.', dot + 1)) {
                expected = reference.count(lower.substr(dot + 1)) != 0;
            }
            ASSERT_EQ(set.containsSelfOrParent(queryText(query)), expected)
                << query << " among " << count;
        }
    }
}

}  // namespace
}  // namespace corvane::blocklist
