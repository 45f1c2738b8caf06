#include "log/FaultText.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane {
namespace {

std::string report(const char* file, std::uint32_t line, std::uint32_t code) {
    char text[FaultReportCapacity];
    const std::size_t length = formatFaultReport(text, sizeof text, file, line, code);
    EXPECT_EQ(text[length], '\0');
    return std::string(text, length);
}

const std::string Spaces(64, ' ');

TEST(FormatFaultReport, DivisionByZeroKeepsItsTrailingSpace) {
    EXPECT_EQ(report("Corvane", 123, 0xC0000094),
              "Corvane [123]\r\nDIVISION BY ZERO \r\n" + Spaces);
}

TEST(FormatFaultReport, UpperCasesTheDescriptionOnly) {
    EXPECT_EQ(report("QueryPath", 7, 0xC0000091),
              "QueryPath [7]\r\nFLOATING-POINT OVERFLOW (EXPONENT TO GREAT)\r\n" + Spaces);
    EXPECT_EQ(report("Corvane", 0, 0xE0000006), "Corvane [0]\r\nUNKNOWN ERROR CODE\r\n" + Spaces);
}

TEST(FormatFaultReport, WritesTheWholeLineNumber) {
    EXPECT_EQ(report("Corvane", 4294967295u, 0xC0000005),
              "Corvane [4294967295]\r\nINVALID MEMORY ACCESS\r\n" + Spaces);
}

TEST(FormatFaultReport, CutsAtTheCapacityAndStaysTerminated) {
    char text[10];
    std::fill(std::begin(text), std::end(text), 'x');
    const std::size_t length = formatFaultReport(text, sizeof text, "Corvane", 12, 0xC0000005);
    EXPECT_EQ(length, 9u);
    EXPECT_STREQ(text, "Corvane [");

    char untouched = 'x';
    EXPECT_EQ(formatFaultReport(&untouched, 0, "Corvane", 12, 0xC0000005), 0u);
    EXPECT_EQ(untouched, 'x');
}

struct TitleCase {
    const char* path;
    const char* title;
};

class FileTitleOf : public ::testing::TestWithParam<TitleCase> {};

TEST_P(FileTitleOf, DropsDirectoryAndExtension) {
    char title[FileTitleCapacity];
    fileTitleOf(GetParam().path, title, sizeof title);
    EXPECT_STREQ(title, GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(Paths, FileTitleOf,
                         ::testing::Values(TitleCase{"/src/corvane/proxy/Corvane.cpp", "Corvane"},
                                           TitleCase{"Corvane.cpp", "Corvane"},
                                           TitleCase{"/src/log/LogFile.h", "LogFile"},
                                           TitleCase{"/src/a.b/Query.Path.cpp", "Query.Path"},
                                           TitleCase{"/src/proxy/Makefile", "Makefile"},
                                           TitleCase{"/src/.hidden", ".hidden"},
                                           TitleCase{"/src/dir/", ""}),
                         [](const auto& row) { return std::to_string(row.index); });

TEST(FileTitleOf, CutsLongNamesToTheCapacity) {
    char title[5];
    fileTitleOf("/src/QueriesInFlight.cpp", title, sizeof title);
    EXPECT_STREQ(title, "Quer");
}

}  // namespace
}  // namespace corvane
