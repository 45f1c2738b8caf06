// The replies made from a message's header and question alone: the truncated
// reply for an answer too long for the datagram buffer, and the name error
// that answers a blocked query. Each keeps the question section when it can
// be read whole, and the header alone otherwise.
#include "proxy/QuestionReplies.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "ProxyPathsFixture.h"

namespace corvane {
namespace {

using test::Bytes;

// A message with the given questions: ID BE EF, flags as given, every count
// set, then the questions, then the first bytes of a record.
Bytes messageWith(std::uint8_t flagsHigh, std::uint16_t qdcount, const Bytes& questions) {
    Bytes out = test::message(0xBE, 0xEF, qdcount, questions);
    out[2] = flagsHigh;
    out[3] = 0x80;
    out[7] = 40;  // ANCOUNT
    out[9] = 2;   // NSCOUNT
    out[11] = 1;  // ARCOUNT
    out.insert(out.end(), {0xC0, 0x0C, 0x00, 0x10, 0x00, 0x01});
    return out;
}

// A question whose name takes length bytes on the wire, its final 0
// included, in labels of at most 63 characters.
Bytes nameOfLength(std::size_t length) {
    Bytes out;
    for (std::size_t left = length - 1; left > 0;) {
        const std::size_t label = std::min<std::size_t>(63, left - 1);
        out.push_back(static_cast<std::uint8_t>(label));
        out.insert(out.end(), label, 'x');
        left -= label + 1;
    }
    out.insert(out.end(), {0, 0, 16, 0, 1});
    return out;
}

enum class Kept { All, None };

struct ReplyCase {
    const char* name;
    std::uint16_t qdcount;
    Bytes questions;
    std::size_t cutTo;  // bytes that arrived; 0 for all of them
    Kept kept;
    std::uint16_t replyCount;  // QDCOUNT of the reply when the questions are kept
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
    *out << c.name;
}

const ReplyCase Cases[] = {
    {"OneQuestion", 1, test::questions({"big.example"}), 0, Kept::All, 1},
    {"TwoQuestions", 2, test::questions({"a.example", "b.example"}), 0, Kept::All, 2},
    {"NoQuestion", 0, {}, 0, Kept::All, 0},
    // The count is read as the reader reads it, and the reply says how many
    // it carries.
    {"CountFFFFIsOne", 0xFFFF, test::questions({"a.example", "b.example"}), 0, Kept::All, 1},
    {"NameCutOff", 1, test::questions({"big.example"}), 12 + 6, Kept::None, 0},
    {"TypeAndClassCutOff", 1, test::questions({"big.example"}), 12 + 15, Kept::None, 0},
    {"SecondQuestionMissing", 2, test::questions({"a.example"}), 0, Kept::None, 0},
    // Read literally, as the query was: a pointer is a label of 192 bytes.
    {"PointerReadAsALabel", 1, {0xC0, 0x0C, 0, 0, 16, 0, 1}, 0, Kept::All, 1},
    {"NameOf255Bytes", 1, nameOfLength(255), 0, Kept::All, 1},
    {"NameOf256Bytes", 1, nameOfLength(256), 0, Kept::All, 1},
};

// The header a reply must start with: the message's, with the flags given,
// QDCOUNT as kept, and no records.
Bytes replyHeader(std::uint8_t flagsHigh, std::uint8_t flagsLow, std::uint16_t qdcount) {
    return {0xBE,
            0xEF,
            flagsHigh,
            flagsLow,
            static_cast<std::uint8_t>(qdcount >> 8),
            static_cast<std::uint8_t>(qdcount),
            0,
            0,
            0,
            0,
            0,
            0};
}

Bytes expectedReply(const ReplyCase& c, std::uint8_t flagsHigh, std::uint8_t flagsLow) {
    Bytes expected = replyHeader(flagsHigh, flagsLow, c.kept == Kept::All ? c.replyCount : 0);
    if (c.kept == Kept::All) {
        // Exactly the questions read: a count of 1 keeps only the first.
        Bytes kept = c.questions;
        if (c.qdcount == 0xFFFF) {
            kept.resize(test::questions({"a.example"}).size());
        }
        expected.insert(expected.end(), kept.begin(), kept.end());
    }
    return expected;
}

class QuestionReplies : public ::testing::TestWithParam<ReplyCase> {
protected:
    // The reply made by make from the case's message, as far as it reaches.
    template <typename Make>
    Bytes reply(std::uint8_t flagsHigh, Make make) {
        const ReplyCase& c = GetParam();
        Bytes message = messageWith(flagsHigh, c.qdcount, c.questions);
        if (c.cutTo != 0) {
            message.resize(c.cutTo);
        }
        const std::int32_t length = make(message.data(), static_cast<std::int32_t>(message.size()));
        EXPECT_LE(length, static_cast<std::int32_t>(message.size()));
        return Bytes(message.begin(), message.begin() + length);
    }
};

TEST_P(QuestionReplies, TruncatedReplyKeepsTheHeaderWithTc) {
    // QR, RD as the upstream said, and TC added.
    EXPECT_EQ(reply(0x81, makeTruncatedReply), expectedReply(GetParam(), 0x83, 0x80));
}

TEST_P(QuestionReplies, NameErrorIsAResponseForTheQuery) {
    // A query of opcode 2 with AA, TC and RD set: QR and RA set, opcode and
    // RD kept, AA and TC cleared, RCODE NXDOMAIN.
    EXPECT_EQ(reply(0x17, makeNameErrorReply), expectedReply(GetParam(), 0x91, 0x83));
}

INSTANTIATE_TEST_SUITE_P(Table, QuestionReplies, ::testing::ValuesIn(Cases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(QuestionReplies, AMessageShorterThanAHeaderIsLeftAlone) {
    Bytes message(11, 0x77);
    EXPECT_EQ(makeTruncatedReply(message.data(), 11), 11);
    EXPECT_EQ(makeNameErrorReply(message.data(), 11), 11);
    EXPECT_EQ(message, Bytes(11, 0x77));
}

}  // namespace
}  // namespace corvane
