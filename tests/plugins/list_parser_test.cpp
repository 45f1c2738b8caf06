#include "ListParser.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace corvane::blocklist {
namespace {

std::u16string queryText(std::string_view bytes) {
    std::u16string text;
    for (const char c : bytes) {
        text.push_back(static_cast<unsigned char>(c));
    }
    return text;
}

struct ParseCase {
    const char* title;
    std::string text;
    ListKind kind;
    std::vector<std::string> blocked;     // queries the parsed list must match
    std::vector<std::string> notBlocked;  // queries neither it nor the exceptions match
    std::size_t names;
    std::size_t skippedLines;
    std::optional<std::int32_t> verdict;
    std::vector<std::string> excepted = {};  // queries the "@@" rules must match
    std::size_t exceptions = 0;
};

void PrintTo(const ParseCase& row, std::ostream* out) {
    *out << row.title;
}

class ListParsing : public testing::TestWithParam<ParseCase> {};

TEST_P(ListParsing, ReadsRealWorldShapes) {
    const ParseCase& c = GetParam();
    DomainSet::Builder builder;
    DomainSet::Builder exceptionBuilder;
    const ParseSummary summary = parseList(c.text, c.kind, builder, exceptionBuilder);
    const DomainSet names = builder.build();
    const DomainSet exceptions = exceptionBuilder.build();
    EXPECT_EQ(summary.names, c.names);
    EXPECT_EQ(summary.skippedLines, c.skippedLines);
    EXPECT_EQ(summary.verdict, c.verdict);
    EXPECT_EQ(summary.exceptions, c.exceptions);
    for (const std::string& query : c.excepted) {
        EXPECT_TRUE(exceptions.containsSelfOrParent(queryText(query))) << query;
    }
    for (const std::string& query : c.blocked) {
        EXPECT_TRUE(names.containsSelfOrParent(queryText(query))) << query;
    }
    for (const std::string& query : c.notBlocked) {
        EXPECT_FALSE(names.containsSelfOrParent(queryText(query))) << query;
        EXPECT_FALSE(exceptions.containsSelfOrParent(queryText(query))) << query;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists, ListParsing,
    testing::Values(
        ParseCase{"HostsLinesWithSeveralNames",
                  "0.0.0.0 ads.example.com\n127.0.0.1 a.example b.example\tc.example\n"
                  ":: v6.example\n::1 v6loop.example\nfe80::1%lo0 zoned.example\n",
                  ListKind::Block,
                  {"ads.example.com", "a.example", "b.example", "c.example", "x.c.example",
                   "v6.example", "v6loop.example", "zoned.example"},
                  {"example.com", "0.0.0.0", "127.0.0.1"},
                  7,
                  0,
                  std::nullopt},
        ParseCase{"CommentsAndBlankLines",
                  "# a list\n\n   \n0.0.0.0 ads.example # served ads\nplain.example#note\n"
                  "# 0.0.0.0 commented.example\n\t# indented comment\n",
                  ListKind::Block,
                  {"ads.example", "plain.example"},
                  {"served", "ads", "note", "commented.example"},
                  2,
                  0,
                  std::nullopt},
        ParseCase{"CrlfLineEndsAndNoFinalNewline",
                  "0.0.0.0 crlf.example\r\nplain.example\r\n\r\nlast.example",
                  ListKind::Block,
                  {"crlf.example", "plain.example", "last.example"},
                  {"crlf.example\r"},
                  3,
                  0,
                  std::nullopt},
        ParseCase{"PlainDomainForms",
                  "Mixed.CASE.Example\n*.wild.example\nfqdn.example.\n",
                  ListKind::Block,
                  {"mixed.case.example", "MIXED.case.EXAMPLE", "a.wild.example", "wild.example",
                   "fqdn.example"},
                  {"case.example"},
                  3,
                  0,
                  std::nullopt},
        ParseCase{"NonAsciiBytesAreNames",
                  "0.0.0.0 caf\xC3\xA9.example\nna\xEFve.example\n",
                  ListKind::Block,
                  {"caf\xC3\xA9.example", "www.caf\xC3\xA9.example", "na\xEFve.example"},
                  {"cafe.example", "caf\xE9.example", "na\xCFve.example"},
                  2,
                  0,
                  std::nullopt},
        ParseCase{"MalformedLinesAreSkippedAndCounted",
                  "two names.example here.example\n0.0.0.0\n1.2.3.4\nhttp://ads.example/x\n"
                  "bad..dots.example\n.leading.example\nunder_score.example\n||adblock.example^\n"
                  "sp ace\nok.example\n" +
                      std::string(64, 'l') + ".example\n" + std::string(63, 'l') + ".example\n",
                  ListKind::Block,
                  {"ok.example", "under_score.example", std::string(63, 'l') + ".example",
                   "adblock.example"},
                  {"names.example", "here.example", "ads.example", "dots.example",
                   "leading.example", std::string(64, 'l') + ".example"},
                  4,
                  8,
                  std::nullopt},
        ParseCase{"HostsLineKeepsGoodNamesBesideBadOnes",
                  "0.0.0.0 good.example bad/name also.example\n",
                  ListKind::Block,
                  {"good.example", "also.example"},
                  {"bad/name"},
                  2,
                  1,
                  std::nullopt},
        ParseCase{"HostsFileHeaderNamesTheMachineItself",
                  "127.0.0.1 localhost\n127.0.0.1 localhost.localdomain\n127.0.0.1 local\n"
                  "255.255.255.255 broadcasthost\n::1 localhost ip6-localhost ip6-loopback\n"
                  "ff02::1 ip6-allnodes\n0.0.0.0 0.0.0.0\n0.0.0.0 tracker.example\n",
                  ListKind::Block,
                  {"tracker.example"},
                  {"localhost", "printer.local", "ip6-localhost", "x.localhost"},
                  1,
                  7,
                  std::nullopt},
        ParseCase{"VerdictDirectiveLastOneWins",
                  "@verdict BlockReply\nads.example\n@VERDICT block # back to silence\n"
                  "@verdict blockreply\r\n",
                  ListKind::Block,
                  {"ads.example"},
                  {"verdict", "blockreply"},
                  1,
                  0,
                  BlockReply},
        ParseCase{"BadDirectivesAreSkipped",
                  "@verdict Forward\n@verdict\n@verdict Block extra\n@verdicts Block\n@ Block\n"
                  "@verdict 2\n",
                  ListKind::Block,
                  {},
                  {"verdict", "block", "forward"},
                  0,
                  6,
                  std::nullopt},
        ParseCase{"DirectiveBelongsToTheBlockListOnly",
                  "@verdict BlockReply\nfine.example\n",
                  ListKind::Allow,
                  {"fine.example"},
                  {},
                  1,
                  1,
                  std::nullopt},
        ParseCase{"AdblockRulesAndExceptions",
                  "[Adblock Plus 2.0]\n! Title: ads.example's list\n||ads.example^\n"
                  "  ||Tracker.EXAMPLE^\r\n@@||ok.ads.example^ # keep it\n||*.wild.example^\n"
                  "||fqdn.example.^\n!||commented.example^\n",
                  ListKind::Block,
                  {"ads.example", "x.ads.example", "ok.ads.example", "tracker.example",
                   "wild.example", "a.wild.example", "fqdn.example"},
                  {"example", "title", "adblock", "commented.example", "badads.example"},
                  4,
                  0,
                  std::nullopt,
                  {"ok.ads.example", "deep.OK.ads.example"},
                  1},
        // Only the byte order mark that opens the text is not part of a name.
        // A closing '|' anchors a rule at the end of the name, where "^"
        // already ends it: the exception must not leave its name blocked.
        ParseCase{"ByteOrderMarkAndClosingBar",
                  "\xEF\xBB\xBF"
                  "0.0.0.0 first.example\n||bar.example^|\n"
                  "@@||ok.bar.example^|\n\xEF\xBB\xBFlater.example\n||^|\n|ads.example^|\n",
                  ListKind::Block,
                  {"first.example", "bar.example", "x.bar.example", "ok.bar.example"},
                  {"later.example"},
                  3,
                  2,
                  std::nullopt,
                  {"ok.bar.example", "cdn.ok.bar.example"},
                  1},
        // A page-styling rule must not block the site it styles, as it would
        // once the '#' cut it down to the name.
        ParseCase{"AdblockRulesNotAboutNamesAreSkipped",
                  "||ads.example^$third-party\n||ads.example/banner^\n||ads.*.example^\n"
                  "/banner[0-9]+\\.example/\nstyled.example##.ad-banner\n"
                  "styled.example#@#.ad\nstyled.example#?#.ad:has(a)\n|https://exact.example^\n"
                  "||ads.example\n||^\n@@||ok.example^$document\n@@ok.example\nok.example^\n"
                  "||two.example^ ||rules.example^\n",
                  ListKind::Block,
                  {},
                  {"ads.example", "styled.example", "exact.example", "ok.example", "two.example",
                   "rules.example"},
                  0,
                  14,
                  std::nullopt}),
    [](const testing::TestParamInfo<ParseCase>& row) { return std::string(row.param.title); });

TEST(ListParsing, BinaryGarbageIsSkippedWithoutHarm) {
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    garbage += "\nsurvivor.example\n";
    DomainSet::Builder names;
    DomainSet::Builder exceptions;
    parseList(garbage, ListKind::Block, names, exceptions);
    EXPECT_TRUE(names.build().containsSelfOrParent(u"survivor.example"));
}

// A file is read in pieces that end anywhere, inside a line, between CR and
// LF, one byte long: the lines must read exactly as in one piece.
TEST(ListParsing, TextSplitAnywhereReadsAsWhole) {
    const std::string text =
        "\xEF\xBB\xBFz.example\r\n0.0.0.0 a.example b.example\r\n||c.example^\n"
        "@@||ok.c.example^\n@verdict BlockReply\nbad line\nlast.example";
    auto check = [&](const std::vector<std::string_view>& pieces, std::size_t split) {
        DomainSet::Builder names;
        DomainSet::Builder exceptions;
        ListReader reader(ListKind::Block, names, exceptions);
        for (const std::string_view piece : pieces) {
            reader.feed(piece);
        }
        const ParseSummary summary = reader.finish();
        EXPECT_EQ(summary.lines, 7u) << split;
        EXPECT_EQ(summary.names, 5u) << split;
        EXPECT_EQ(summary.exceptions, 1u) << split;
        EXPECT_EQ(summary.skippedLines, 1u) << split;
        EXPECT_EQ(summary.firstSkipped, 6u) << split;
        EXPECT_EQ(summary.verdict, BlockReply) << split;
        const DomainSet set = names.build();
        for (const char16_t* query :
             {u"z.example", u"a.example", u"b.example", u"c.example", u"last.example"}) {
            EXPECT_TRUE(set.containsSelfOrParent(query)) << split;
        }
        EXPECT_FALSE(set.containsSelfOrParent(u"example")) << split;
        EXPECT_TRUE(exceptions.build().containsSelfOrParent(u"ok.c.example")) << split;
    };
    const std::string_view whole = text;
    for (std::size_t split = 0; split <= whole.size(); ++split) {
        check({whole.substr(0, split), "", whole.substr(split)}, split);
    }
    std::vector<std::string_view> bytes;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        bytes.push_back(whole.substr(i, 1));
    }
    check(bytes, whole.size() + 1);
}

}  // namespace
}  // namespace corvane::blocklist
