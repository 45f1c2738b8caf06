#include "attribution/ProcText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace corvane {
namespace {

// A stat line as the kernel writes it, with this comm and start time.
std::string statLine(const std::string& comm, const std::string& startTime) {
    return "2412 (" + comm + ") S 1 2412 2412 0 -1 4194560 1 2 3 4 5 6 7 8 20 0 1 0 " + startTime +
           " 123456 789\n";
}

struct StatCase {
    const char* what;
    std::string stat;
    std::optional<std::uint64_t> startTime;
};

class StartTimeFromStat : public testing::TestWithParam<StatCase> {};

TEST_P(StartTimeFromStat, CountsFieldsFromTheLastParenthesis) {
    EXPECT_EQ(startTimeFromStat(GetParam().stat), GetParam().startTime) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StartTimeFromStat,
    testing::Values(StatCase{"plain", statLine("firefox-esr", "987654"), 987654},
                    StatCase{"comm with spaces", statLine("Web Content", "42"), 42},
                    // A program chooses its comm: one that imitates the fields after it
                    // must not move the count.
                    StatCase{"comm faking fields",
                             statLine("x) S 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 7 (", "55"), 55},
                    StatCase{"comm with a newline", statLine("a\nb", "9"), 9},
                    StatCase{"comm of parentheses", statLine(")))", "18446744073709551615"),
                             18446744073709551615ull},
                    StatCase{"last field, no newline",
                             "1 (init) S 0 1 1 0 -1 1 1 2 3 4 5 6 7 8 20 0 1 0 77", 77},
                    StatCase{"overflow", statLine("x", "18446744073709551616"), std::nullopt},
                    StatCase{"not a number", statLine("x", "12a"), std::nullopt},
                    StatCase{"empty field", statLine("x", ""), std::nullopt},
                    StatCase{"too few fields", "1 (x) S 0 1", std::nullopt},
                    StatCase{"no parenthesis", "1 x S 0 1 1 0 -1 1 1 2 3 4 5 6 7 8 20 0 1 0 77",
                             std::nullopt},
                    StatCase{"parenthesis last", "1 (x)", std::nullopt},
                    StatCase{"empty", "", std::nullopt}));

struct NameCase {
    const char* executable;
    const char* comm;
    const char* program;
};

class ProgramName : public testing::TestWithParam<NameCase> {};

TEST_P(ProgramName, IsTheExecutablesFileNameElseTheComm) {
    EXPECT_EQ(programName(GetParam().executable, GetParam().comm), GetParam().program);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProgramName,
    testing::Values(NameCase{"/usr/lib/firefox-esr/firefox-esr", "firefox-esr\n", "firefox-esr"},
                    // The comm is cut at 15 bytes; the executable's name is not.
                    NameCase{"/usr/bin/systemd-resolved", "systemd-resolve\n", "systemd-resolved"},
                    NameCase{"/usr/bin/getent (deleted)", "getent\n", "getent"},
                    NameCase{"/tmp/a b/my (deleted) tool", "x\n", "my (deleted) tool"},
                    // Only the kernel's one suffix goes, once.
                    NameCase{"/tmp/t (deleted) (deleted)", "t\n", "t (deleted)"},
                    NameCase{"/memfd:runner (deleted)", "runner\n", "memfd:runner"},
                    NameCase{"", "kworker/0:1\n", "kworker/0:1"},
                    NameCase{"", "no newline", "no newline"},
                    NameCase{"/", "fallback\n", "fallback"},
                    NameCase{" (deleted)", "fallback\n", "fallback"}, NameCase{"", "", ""}));

}  // namespace
}  // namespace corvane
