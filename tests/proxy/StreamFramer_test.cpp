// Cutting a TCP byte stream into DNS messages: splits anywhere, several
// messages in one read, and the lengths at and beyond the limits.
#include "proxy/StreamFramer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Status = StreamFramer::Status;

// A message of length bytes that differs with seed, behind its prefix.
Bytes framed(std::size_t length, std::uint8_t seed) {
    Bytes out = {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(static_cast<std::uint8_t>(seed + i * 13));
    }
    return out;
}

Bytes unframed(const Bytes& frame) {
    return Bytes(frame.begin() + 2, frame.end());
}

struct Outcome {
    std::vector<Bytes> messages;
    Status last = Status::NeedMore;
};

// Feeds stream to the framer in pieces of at most piece bytes, as reads would
// come, and collects every message it yields.
Outcome feed(StreamFramer& framer, Bytes stream, std::size_t piece) {
    Outcome outcome;
    for (std::size_t start = 0; start < stream.size(); start += piece) {
        std::span<std::uint8_t> input(stream.data() + start,
                                      std::min(piece, stream.size() - start));
        while (!input.empty()) {
            const StreamFramer::Step step = framer.next(input);
            outcome.last = step.status;
            if (step.status == Status::Malformed) {
                return outcome;
            }
            if (step.status == Status::Message) {
                outcome.messages.emplace_back(step.message.begin(), step.message.end());
            }
            input = input.subspan(step.consumed);
        }
    }
    return outcome;
}

TEST(StreamFramer, MessagesSplitAtEveryByteJoinUp) {
    const Bytes first = framed(12, 1);
    const Bytes second = framed(300, 2);
    Bytes stream = first;
    stream.insert(stream.end(), second.begin(), second.end());
    const std::vector<Bytes> expected = {unframed(first), unframed(second)};

    StreamFramer oneByteAtATime;
    EXPECT_EQ(feed(oneByteAtATime, stream, 1).messages, expected);
    // Two reads, the first ending after each byte in turn.
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        StreamFramer framer;
        Outcome outcome = feed(framer, Bytes(stream.begin(), stream.begin() + cut), cut);
        const Outcome rest = feed(framer, Bytes(stream.begin() + cut, stream.end()), stream.size());
        outcome.messages.insert(outcome.messages.end(), rest.messages.begin(), rest.messages.end());
        EXPECT_EQ(outcome.messages, expected) << "cut after byte " << cut;
        EXPECT_EQ(framer.held(), 0u);
    }
}

TEST(StreamFramer, SeveralMessagesInOneReadAndAPartHeldForTheNext) {
    const Bytes a = framed(12, 3), b = framed(40, 4), c = framed(20, 5);
    Bytes stream = a;
    stream.insert(stream.end(), b.begin(), b.end());
    stream.insert(stream.end(), c.begin(), c.begin() + 7);

    StreamFramer framer;
    const Outcome outcome = feed(framer, stream, stream.size());
    EXPECT_EQ(outcome.messages, (std::vector<Bytes>{unframed(a), unframed(b)}));
    EXPECT_EQ(framer.held(), 7u) << "a client in the middle of a message";
    EXPECT_EQ(feed(framer, Bytes(c.begin() + 7, c.end()), 100).messages,
              std::vector<Bytes>{unframed(c)});
}

struct LengthCase {
    std::size_t length;
    bool accepted;
};

class FramedLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(FramedLength, IsAMessageOrClosesTheConnection) {
    const LengthCase c = GetParam();
    Bytes stream = framed(c.length, 7);
    const Bytes after = framed(12, 8);
    stream.insert(stream.end(), after.begin(), after.end());
    for (const std::size_t piece : {stream.size(), std::size_t{1}}) {
        StreamFramer framer;
        const Outcome outcome = feed(framer, stream, piece);
        if (c.accepted) {
            EXPECT_EQ(outcome.messages,
                      (std::vector<Bytes>{unframed(framed(c.length, 7)), unframed(after)}));
        } else {
            // Nothing after a malformed length is read as a message.
            EXPECT_EQ(outcome.last, Status::Malformed);
            EXPECT_TRUE(outcome.messages.empty());
            EXPECT_TRUE(framer.malformed());
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, FramedLength,
                         ::testing::Values(LengthCase{0, false}, LengthCase{11, false},
                                           LengthCase{12, true}, LengthCase{65535, true}));

TEST(StreamFramer, StaysMalformedUntilReset) {
    StreamFramer framer;
    ASSERT_EQ(feed(framer, framed(5, 1), 100).last, Status::Malformed);
    EXPECT_EQ(feed(framer, framed(12, 1), 100).last, Status::Malformed);
    framer.reset();
    EXPECT_EQ(feed(framer, framed(12, 1), 100).messages.size(), 1u);
}

TEST(StreamFramer, LengthPrefixIsHighByteFirstAndOnlyForWhatAPeerTakes) {
    std::uint8_t prefix[2] = {0xAA, 0xAA};
    ASSERT_TRUE(writeLengthPrefix(300, prefix));
    EXPECT_EQ(prefix[0], 0x01);
    EXPECT_EQ(prefix[1], 0x2C);
    ASSERT_TRUE(writeLengthPrefix(65535, prefix));
    EXPECT_EQ(prefix[0], 0xFF);
    EXPECT_EQ(prefix[1], 0xFF);
    EXPECT_FALSE(writeLengthPrefix(65536, prefix));
    EXPECT_FALSE(writeLengthPrefix(11, prefix));
    EXPECT_EQ(prefix[0], 0xFF) << "a refused length writes nothing";
}

}  // namespace
}  // namespace corvane
