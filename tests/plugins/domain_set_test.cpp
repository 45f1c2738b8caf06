#include "DomainSet.h"

#include <gtest/gtest.h>

#include <ostream>
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
        DomainSet set;
        for (const char* name : {"example.com", "Ads.Tracker.NET", "x.y", "caf\xE9.example",
                                 "deep.a.b.c.d.e.f.g.h.example.org"}) {
            EXPECT_TRUE(set.add(name));
        }
        return set;
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
    DomainSet set;
    set.add("example.com");
    set.add("\xE9");
    // U+0165 folded to one byte would read as 'e' (0x65).
    EXPECT_FALSE(set.containsSelfOrParent(u"\u0165xample.com"));
    EXPECT_FALSE(set.containsSelfOrParent(u"\u01E9"));
    // A wide character to the left still leaves the parents that follow it.
    EXPECT_TRUE(set.containsSelfOrParent(u"\u4E2D.example.com"));
}

TEST(DomainSet, ParentListedAfterItsSubdomainIsStillFound) {
    // The parent is marked when the subdomain goes in; storing the parent
    // later must not leave the mark hiding it.
    DomainSet set;
    set.add("ads.tracker.example");
    EXPECT_FALSE(set.containsSelfOrParent(u"tracker.example"));
    EXPECT_FALSE(set.containsSelfOrParent(u"other.tracker.example"));
    set.add("tracker.example");
    EXPECT_TRUE(set.containsSelfOrParent(u"tracker.example"));
    EXPECT_TRUE(set.containsSelfOrParent(u"other.tracker.example"));
    EXPECT_TRUE(set.containsSelfOrParent(u"x.ads.tracker.example"));
    EXPECT_FALSE(set.containsSelfOrParent(u"example"));
    EXPECT_EQ(set.size(), 2u);
}

TEST(DomainSet, RejectsEmptyAndOverlongNamesAndStoresDuplicatesOnce) {
    DomainSet set;
    EXPECT_FALSE(set.add(""));
    EXPECT_FALSE(set.add(std::string(254, 'a')));
    EXPECT_TRUE(set.add(std::string(253, 'a')));
    EXPECT_TRUE(set.add("Example.com"));
    EXPECT_TRUE(set.add("EXAMPLE.COM"));
    EXPECT_TRUE(set.add("example.com"));
    EXPECT_EQ(set.size(), 2u);
    EXPECT_TRUE(set.containsSelfOrParent(queryText(std::string(253, 'a'))));
}

TEST(DomainSet, FindsParentsOfNamesLongerThanAnyStoredName) {
    DomainSet set;
    set.add("example.com");
    const std::string longLabelChain = std::string(400, 'a') + ".example.com";
    EXPECT_TRUE(set.containsSelfOrParent(queryText(longLabelChain)));
    std::string manyLabels;
    for (int i = 0; i < 200; ++i) {
        manyLabels += "a.";
    }
    EXPECT_TRUE(set.containsSelfOrParent(queryText(manyLabels + "example.com")));
    EXPECT_FALSE(set.containsSelfOrParent(queryText(manyLabels + "example.org")));
}

TEST(DomainSet, KeepsEveryNameThroughGrowth) {
    // Enough names for several table doublings; every one stays findable and
    // near misses stay misses.
    DomainSet set;
    constexpr int count = 20000;
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(set.add("host" + std::to_string(i) + ".example"));
    }
    EXPECT_EQ(set.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(set.containsSelfOrParent(queryText("host" + std::to_string(i) + ".example")))
            << i;
        ASSERT_FALSE(set.containsSelfOrParent(queryText("host" + std::to_string(i) + ".exampl")))
            << i;
    }
    EXPECT_FALSE(set.containsSelfOrParent(u"host20000.example"));
}

}  // namespace
}  // namespace corvane::blocklist
