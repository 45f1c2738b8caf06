#include "attribution/AskerDescription.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "log/Utf8.h"
#include "tests/attribution/AttributionTestSupport.h"

namespace corvane {
namespace {

using test::ipv4;

class TableUserNames final : public UserNames {
public:
    std::map<std::uint32_t, std::u16string> names{{1000, u"alice"}, {0, u"root"}};
    std::u16string_view userName(std::uint32_t uid) override {
        const auto found = names.find(uid);
        return found == names.end() ? std::u16string_view() : found->second;
    }
};

Asker process(std::int32_t pid, std::int64_t uid, std::string program) {
    return Asker{AskerState::Process, pid, uid, std::move(program), true};
}

struct DescriptionCase {
    Asker asker;
    ClientKey client;
    const char* text;  // UTF-8
};

class DescribeAsker : public testing::TestWithParam<DescriptionCase> {};

TEST_P(DescribeAsker, SaysWhatIsKnownAndTheClient) {
    TableUserNames users;
    std::string text;
    appendUtf8(describeAsker(GetParam().asker, GetParam().client, users), text);
    EXPECT_EQ(text, GetParam().text);
}

const ClientKey Local{IpProtocol::Udp, ipv4(127, 0, 0, 1), 51234};

INSTANTIATE_TEST_SUITE_P(
    States, DescribeAsker,
    testing::Values(DescriptionCase{process(2412, 1000, "firefox-esr"), Local,
                                    "firefox-esr (pid 2412, user alice), UDP 127.0.0.1:51234"},
                    DescriptionCase{process(7, 1001, "getent"),
                                    {IpProtocol::Tcp, ipv4(10, 0, 0, 5), 40000},
                                    "getent (pid 7, uid 1001), TCP 10.0.0.5:40000"},
                    DescriptionCase{Asker{AskerState::Owner, 0, 1000, "", true},
                                    {IpProtocol::Udp, ipv4(127, 0, 0, 1), 5353},
                                    "uid 1000, UDP 127.0.0.1:5353"},
                    DescriptionCase{Asker{AskerState::Remote, 0, -1, "", true},
                                    {IpProtocol::Udp, ipv4(192, 0, 2, 7), 40000},
                                    "UDP 192.0.2.7:40000"},
                    DescriptionCase{Asker{},
                                    {IpProtocol::Udp, ipv4(127, 0, 0, 1), 0},
                                    "unknown, UDP 127.0.0.1:0"},
                    DescriptionCase{Asker{},
                                    {IpProtocol::Tcp, ipv4(255, 255, 255, 255), 65535},
                                    "unknown, TCP 255.255.255.255:65535"},
                    // Names are the program's bytes read as UTF-8; a byte that is not
                    // valid UTF-8 is shown as U+FFFD.
                    DescriptionCase{process(1, 0, "caf\xC3\xA9"), Local,
                                    "caf\xC3\xA9 (pid 1, user root), UDP 127.0.0.1:51234"},
                    DescriptionCase{process(1, 0,
                                            "a\xFF"
                                            "b"),
                                    Local,
                                    "a\xEF\xBF\xBD"
                                    "b (pid 1, user root), UDP 127.0.0.1:51234"}));

// A program names itself: one that puts a line break or a right-to-left
// override in its name must not forge a line or reverse the text around it.
TEST(DescribeAsker, ShowsNoControlOrReorderingCharacterOfAName) {
    TableUserNames users;
    users.names[1000] = u"al\u202Eice";
    const std::string hostile =
        "fake\n(pid 1, user root)\r\t\x1B[31m\xC2\x85\xE2\x80\xAE\xE2\x81\xA6\xE2\x80\xA8x";
    const std::u16string text = describeAsker(process(9, 1000, hostile), Local, users);
    for (const char16_t c : text) {
        EXPECT_FALSE(c < 0x20 || (c >= 0x7F && c <= 0x9F)) << int(c);
        EXPECT_FALSE((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) << int(c);
        EXPECT_FALSE(c == 0x2028 || c == 0x2029) << int(c);
    }
    EXPECT_EQ(text.substr(0, 5), u"fake\uFFFD");
    EXPECT_NE(text.find(u"user al\uFFFDice), UDP 127.0.0.1:51234"), std::u16string::npos);
}

}  // namespace
}  // namespace corvane
