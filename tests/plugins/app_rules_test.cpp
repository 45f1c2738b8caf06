// Rules for some programs only ("$app"): how they are read, and the verdicts
// they give with the rest of both lists.
#include <corvane/filter.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "BlocklistFilter.h"
#include "ListParser.h"
#include "tests/support/TempFolder.h"

namespace corvane::blocklist {
namespace {

// A query's program, counting how often it was asked for.
class CountingProgram final : public QueryProgram {
public:
    explicit CountingProgram(std::optional<std::u16string> name) : name_(std::move(name)) {}
    std::optional<std::u16string_view> program() override {
        ++asked;
        return name_ ? std::optional<std::u16string_view>(*name_) : std::nullopt;
    }
    int asked = 0;

private:
    std::optional<std::u16string> name_;
};

struct OptionCase {
    const char* rule;
    std::size_t appRules;  // 1: read as a rule for programs; 0: skipped and counted
};
void PrintTo(const OptionCase& c, std::ostream* os) {
    *os << c.rule;
}

class AppOptionReading : public testing::TestWithParam<OptionCase> {};

// Only "app=" and names is a rule for programs; any other option, alone or
// beside it, is skipped and counted as before, and so is every name that
// could not be compared as written.
TEST_P(AppOptionReading, TakesOnlyTheAppOptionWithNamesItCanCompare) {
    DomainSet::Builder names;
    DomainSet::Builder exceptions;
    AppRules blocked;
    AppRules excepted;
    ListReader reader(ListKind::Block, names, exceptions, &blocked, &excepted);
    reader.feed(GetParam().rule);
    const ParseSummary summary = reader.finish();
    EXPECT_EQ(summary.appRules, GetParam().appRules);
    EXPECT_EQ(summary.skippedLines, 1 - GetParam().appRules);
    EXPECT_EQ(summary.names + summary.exceptions, 0u) << "a rule for programs blocks for all";
    EXPECT_EQ(blocked.size() + excepted.size(), GetParam().appRules);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, AppOptionReading,
    testing::Values(
        OptionCase{"||ads.example^$app=firefox-esr", 1}, OptionCase{"@@||ads.example^$app=a|b", 1},
        OptionCase{"||ads.example^$app=~curl|~wget", 1},
        OptionCase{"||ads.example^$app=caf\xC3\xA9|\xF0\x9F\x98\x80", 1},
        OptionCase{"||ads.example^$third-party", 0},
        OptionCase{"||ads.example^$app=a,important", 0},
        OptionCase{"||ads.example^$important,app=a", 0}, OptionCase{"||ads.example^$app=", 0},
        OptionCase{"||ads.example^$app=a|", 0}, OptionCase{"||ads.example^$app=~", 0},
        OptionCase{"||ads.example^$app=fire*", 0}, OptionCase{"||ads.example^$app=/fire.*/", 0},
        OptionCase{"||ads.example^$app=bad\xFF", 0}, OptionCase{"||ads.example^$app=\xC0\xAF", 0},
        OptionCase{"||ads.example^$APP=a", 0}, OptionCase{"||ads^example^$app=a", 0},
        OptionCase{"||ads.example/path^$app=a", 0}),
    [](const auto& param) { return std::to_string(param.index); });

// Without a place for them (a reader that does not take them), rules for
// programs are skipped as any option is.
TEST(AppRuleReading, AReaderWithoutRulesForProgramsSkipsThem) {
    DomainSet::Builder names;
    const ParseSummary summary =
        parseList("||ads.example^$app=firefox\n||b.example^\n", ListKind::Block, names, names);
    EXPECT_EQ(summary.appRules, 0u);
    EXPECT_EQ(summary.skippedLines, 1u);
    EXPECT_EQ(summary.names, 1u);
}

// What the lists hold, what the query asks and who asked it: the verdict.
struct VerdictCase {
    const char* title;
    std::string blocklist;
    std::string allowlist;
    std::u16string name;
    std::optional<std::u16string> program;
    std::int32_t verdict;
    int asked;  // how often the program was asked for
};
void PrintTo(const VerdictCase& c, std::ostream* os) {
    *os << c.title;
}

class AppRuleVerdicts : public testing::TestWithParam<VerdictCase> {};

TEST_P(AppRuleVerdicts, ARuleForProgramsCountsOnlyForThem) {
    test::TempFolder folder;
    folder.write("blocklist.txt", GetParam().blocklist);
    folder.write("allowlist.txt", GetParam().allowlist);
    BlocklistFilter filter(folder.path().string());
    CountingProgram program(GetParam().program);
    EXPECT_EQ(filter.query(GetParam().name, BlocklistFilter::Clock::time_point{}, program),
              GetParam().verdict);
    EXPECT_EQ(program.asked, GetParam().asked);
}

const std::string ForFirefox = "||ads.example^$app=firefox-esr\n";
const std::string ExceptCurl = "@verdict Block\n||ads.example^\n@@||ads.example^$app=curl\n";

INSTANTIATE_TEST_SUITE_P(
    Lists, AppRuleVerdicts,
    testing::Values(
        VerdictCase{"for it", ForFirefox, "", u"x.ADS.example", u"firefox-esr", BlockReply, 1},
        VerdictCase{"for another", ForFirefox, "", u"ads.example", u"curl", Forward, 1},
        VerdictCase{"program unknown", ForFirefox, "", u"ads.example", std::nullopt, Forward, 1},
        VerdictCase{"exact names only", ForFirefox, "", u"ads.example", u"Firefox-esr", Forward, 1},
        VerdictCase{"a name no rule covers: not asked", ForFirefox, "", u"ads.example.org",
                    u"firefox-esr", Forward, 0},
        VerdictCase{"either of two", "||ads.example^$app=a|b\n", "", u"ads.example", u"b",
                    BlockReply, 1},
        VerdictCase{"neither of two", "||ads.example^$app=a|b\n", "", u"ads.example", u"c", Forward,
                    1},
        VerdictCase{"all but one: another", "||ads.example^$app=~curl\n", "", u"ads.example",
                    u"wget", BlockReply, 1},
        VerdictCase{"all but one: that one", "||ads.example^$app=~curl\n", "", u"ads.example",
                    u"curl", Forward, 1},
        VerdictCase{"all but one: unknown", "||ads.example^$app=~curl\n", "", u"ads.example",
                    std::nullopt, Forward, 1},
        VerdictCase{"excepted for it", ExceptCurl, "", u"ads.example", u"curl", Forward, 1},
        VerdictCase{"excepted for another", ExceptCurl, "", u"ads.example", u"wget", Block, 1},
        VerdictCase{"exception, program unknown", ExceptCurl, "", u"ads.example", std::nullopt,
                    Block, 1},
        VerdictCase{"allowed for it", "||ads.example^\n", "||ads.example^$app=curl\n",
                    u"t.ads.example", u"curl", Forward, 1},
        VerdictCase{"allowed for another", "||ads.example^\n", "@@||ads.example^$app=curl\n",
                    u"t.ads.example", u"wget", BlockReply, 1},
        VerdictCase{"the allow list wins", ForFirefox, "ads.example\n", u"ads.example",
                    u"firefox-esr", Forward, 1},
        VerdictCase{"not blocked: exceptions not asked", "||other.example^\n",
                    "||ads.example^$app=curl\n", u"ads.example", u"curl", Forward, 0}),
    [](const auto& param) { return std::to_string(param.index); });

// The built plug-in: a host that knows who asked calls FilterQueryFrom, and
// the plug-in asks for the asker only for a name a rule for programs covers.
struct HostAsker {
    static inline int calls = 0;
    static inline const char16_t* program = u"firefox-esr";
    static std::int32_t ask(const CorvaneQueryClient*, CorvaneAsker* out) {
        ++calls;
        out->pid = 2412;
        out->uid = 1000;
        out->program = program;
        return 1;
    }
};

TEST(AppRulePlugin, FilterQueryFromAsksOnlyForANameARuleForProgramsCovers) {
    test::TempFolder folder;
    const std::filesystem::path library = folder.path() / "Filter.DLL";
    std::filesystem::copy_file(BLOCKLIST_PLUGIN, library);
    folder.write("blocklist.txt", "tracker.example\n" + ForFirefox);
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto from =
        reinterpret_cast<FilterQueryFromFunction>(dlsym(handle, CORVANE_FILTER_FROM_FUNCTION_NAME));
    const auto plain = reinterpret_cast<FilterQueryFunction>(dlsym(handle, "FilterQuery"));
    ASSERT_NE(from, nullptr);
    ASSERT_NE(plain, nullptr);
    CorvaneQueryClient client{};
    client.size = sizeof client;
    client.asker = &HostAsker::ask;

    EXPECT_EQ(from(u"tracker.example", &client), BlockReply);
    EXPECT_EQ(from(u"www.example", &client), Forward);
    EXPECT_EQ(HostAsker::calls, 0);
    EXPECT_EQ(from(u"ads.example", &client), BlockReply);
    EXPECT_EQ(HostAsker::calls, 1);
    HostAsker::program = u"curl";
    EXPECT_EQ(from(u"ads.example", &client), Forward);
    // FilterQuery knows no program: the rule never applies.
    EXPECT_EQ(plain(u"ads.example"), Forward);
    EXPECT_EQ(dlclose(handle), 0);
}

}  // namespace
}  // namespace corvane::blocklist
