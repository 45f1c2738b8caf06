#include "log/SourcePosition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace corvane {
namespace {

TEST(PositionAnswer, WhatTheHelperWritesTheFaultedProcessReadsBack) {
    SourcePosition written{};
    std::memcpy(written.file, "QueryPath", sizeof "QueryPath");
    written.line = 4294967295u;
    char answer[PositionAnswerCapacity];
    const std::size_t length = formatPositionAnswer(written, answer, sizeof answer);
    EXPECT_EQ(std::string(answer, length), "4294967295 QueryPath\n");

    SourcePosition read = unknownSourcePosition();
    ASSERT_TRUE(parsePositionAnswer(answer, length, read));
    EXPECT_STREQ(read.file, "QueryPath");
    EXPECT_EQ(read.line, 4294967295u);
}

struct SourceCase {
    const char* filename;
    bool own;
};

class IsOwnSource : public ::testing::TestWithParam<SourceCase> {};

TEST_P(IsOwnSource, TellsTheSystemsFilesFromHeadersAndNeighbours) {
    constexpr const char Root[] = "/src/corvane";
    EXPECT_EQ(isOwnSource(GetParam().filename, Root, sizeof Root - 1), GetParam().own)
        << GetParam().filename;
}

INSTANTIATE_TEST_SUITE_P(
    Files, IsOwnSource,
    ::testing::Values(SourceCase{"/src/corvane/proxy/QueryPath.cpp", true},
                      SourceCase{"/src/corvane-old/proxy/QueryPath.cpp", false},
                      SourceCase{"/src/corvane", false},
                      SourceCase{"/usr/include/c++/12/bits/stl_vector.h", false},
                      // Paths a compiler cache made relative.
                      SourceCase{"../../proxy/QueryPath.cpp", true}, SourceCase{"", false}));

// The answer comes from another process: anything but one whole answer
// leaves the position as it was.
class MalformedAnswer : public ::testing::TestWithParam<std::string> {};

TEST_P(MalformedAnswer, LeavesThePositionAlone) {
    SourcePosition position = unknownSourcePosition();
    EXPECT_FALSE(parsePositionAnswer(GetParam().data(), GetParam().size(), position));
    EXPECT_STREQ(position.file, "Corvane");
    EXPECT_EQ(position.line, 0u);
}

INSTANTIATE_TEST_SUITE_P(Answers, MalformedAnswer,
                         ::testing::Values("", "\n", "12\n", "12 \n", " 12 Corvane\n",
                                           "x12 Corvane\n", "12 Corvane", "12 Corvane\n\n",
                                           "12 Corvane\nQueryPath\n", "4294967296 Corvane\n",
                                           "12345678901 Corvane\n", "12 ../Corvane\n",
                                           std::string("12 Cor\0vane\n", 12),
                                           "12 " + std::string(64, 'a') + "\n"));

}  // namespace
}  // namespace corvane
