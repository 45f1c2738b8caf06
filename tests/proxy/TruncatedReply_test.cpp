// The reply for an answer too long for the datagram buffer: header with TC and
// the question section as it came, or the bare header when the question cannot
// be read from the bytes that arrived.
#include "proxy/TruncatedReply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "ProxyFakes.h"

namespace corvane {
namespace {

using test::Bytes;

// An answer to the given questions: flags QR RD RA, rcode 0; every count set,
// then the questions, then the first bytes of an answer record.
Bytes answer(std::uint16_t qdcount, const Bytes& questions) {
    Bytes out = test::message(0xBE, 0xEF, qdcount, questions);
    out[2] = 0x81;
    out[3] = 0x80;
    out[7] = 40;  // ANCOUNT
    out[9] = 2;   // NSCOUNT
    out[11] = 1;  // ARCOUNT
    out.insert(out.end(), {0xC0, 0x0C, 0x00, 0x10, 0x00, 0x01});
    return out;
}

// The header the reply must start with: the answer's, TC set, counts zero
// but for QDCOUNT.
Bytes replyHeader(std::uint16_t qdcount) {
    return {0xBE,
            0xEF,
            0x83,
            0x80,
            static_cast<std::uint8_t>(qdcount >> 8),
            static_cast<std::uint8_t>(qdcount),
            0,
            0,
            0,
            0,
            0,
            0};
}

struct ReplyCase {
    const char* name;
    std::uint16_t qdcount;
    Bytes questions;
    std::size_t cutTo;  // bytes that arrived; 0 for all of them
    bool questionsKept;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
    *out << c.name;
}

class TruncatedReply : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(TruncatedReply, KeepsTheHeaderWithTcAndTheQuestionsItCanRead) {
    const ReplyCase& c = GetParam();
    Bytes message = answer(c.qdcount, c.questions);
    if (c.cutTo != 0) {
        message.resize(c.cutTo);
    }
    const std::int32_t length =
        makeTruncatedReply(message.data(), static_cast<std::int32_t>(message.size()));

    Bytes expected = replyHeader(c.questionsKept ? c.qdcount : 0);
    if (c.questionsKept) {
        expected.insert(expected.end(), c.questions.begin(), c.questions.end());
    }
    ASSERT_EQ(length, static_cast<std::int32_t>(expected.size()));
    EXPECT_EQ(Bytes(message.begin(), message.begin() + length), expected);
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

INSTANTIATE_TEST_SUITE_P(
    Table, TruncatedReply,
    ::testing::Values(
        ReplyCase{"OneQuestion", 1, test::questions({"big.example"}), 0, true},
        ReplyCase{"TwoQuestions", 2, test::questions({"a.example", "b.example"}), 0, true},
        ReplyCase{"NoQuestion", 0, {}, 0, true},
        ReplyCase{"NameCutOff", 1, test::questions({"big.example"}), 12 + 6, false},
        ReplyCase{"TypeAndClassCutOff", 1, test::questions({"big.example"}), 12 + 15, false},
        ReplyCase{"SecondQuestionMissing", 2, test::questions({"a.example"}), 0, false},
        ReplyCase{"CompressionPointer", 1, {0xC0, 0x0C, 0, 16, 0, 1}, 0, false},
        ReplyCase{"ExtendedLabelType", 1, {0x41, 'a', 0, 0, 16, 0, 1}, 0, false},
        ReplyCase{"NameOf255Bytes", 1, nameOfLength(255), 0, true},
        ReplyCase{"NameOf256Bytes", 1, nameOfLength(256), 0, false}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace corvane
