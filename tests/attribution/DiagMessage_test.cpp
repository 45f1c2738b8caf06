#include "attribution/DiagMessage.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/sock_diag.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/attribution/AttributionTestSupport.h"

namespace corvane {
namespace {

using test::ipv4;

const ClientEndpoint Udp{ClientKey{IpProtocol::Udp, ipv4(127, 0, 0, 1), 51234}, ipv4(127, 0, 0, 1),
                         53};
// The request's two ends, swapped for UDP, are tested on the kernel itself
// (attribution_system_tests): only a real lookup tells the client's socket
// from the server's.
const ClientEndpoint Tcp{ClientKey{IpProtocol::Tcp, ipv4(127, 0, 0, 1), 40000}, ipv4(127, 0, 0, 1),
                         53};

// A netlink datagram of one message.
std::vector<std::uint8_t> message(std::uint16_t type, std::uint32_t sequence, const void* payload,
                                  std::size_t size) {
    nlmsghdr header{};
    header.nlmsg_len = static_cast<std::uint32_t>(sizeof header + size);
    header.nlmsg_type = type;
    header.nlmsg_seq = sequence;
    std::vector<std::uint8_t> bytes(NLMSG_ALIGN(header.nlmsg_len));
    std::memcpy(bytes.data(), &header, sizeof header);
    std::memcpy(bytes.data() + sizeof header, payload, size);
    return bytes;
}

inet_diag_msg socketOf(const ClientEndpoint& endpoint) {
    inet_diag_msg socket{};
    socket.idiag_family = AF_INET;
    socket.idiag_state = 1;  // established
    socket.id.idiag_src[0] = endpoint.client.address;
    socket.id.idiag_sport = htons(endpoint.client.port);
    socket.idiag_uid = 1000;
    socket.idiag_inode = 4242;
    return socket;
}

std::vector<std::uint8_t> found(const inet_diag_msg& socket, std::uint32_t sequence = 5) {
    return message(SOCK_DIAG_BY_FAMILY, sequence, &socket, sizeof socket);
}

// A reply whose own length is honest but too short for the socket's record.
std::vector<std::uint8_t> shortSocket() {
    const inet_diag_msg socket = socketOf(Udp);
    return message(SOCK_DIAG_BY_FAMILY, 5, &socket, 8);
}

std::vector<std::uint8_t> shortError() {
    const int code = -ENOENT;
    return message(NLMSG_ERROR, 5, &code, 2);
}

std::vector<std::uint8_t> error(int code, std::uint32_t sequence = 5) {
    nlmsgerr error{};
    error.error = code;
    return message(NLMSG_ERROR, sequence, &error, sizeof error);
}

struct ReplyCase {
    const char* what;
    std::vector<std::uint8_t> datagram;
    ClientEndpoint endpoint;
    bool answersRequest;
    SocketLookup result;
};

class ReadDiagReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(ReadDiagReply, NamesOnlyTheClientsOwnSocket) {
    const ReplyCase& c = GetParam();
    const DiagReply reply = readDiagReply(c.datagram, 5, c.endpoint);
    EXPECT_EQ(reply.answersRequest, c.answersRequest) << c.what;
    if (c.answersRequest) {
        EXPECT_EQ(reply.result, c.result) << c.what;
    }
    if (reply.result == SocketLookup::Found) {
        EXPECT_EQ(reply.record.inode, 4242u);
        EXPECT_EQ(reply.record.uid, 1000u);
    }
}

inet_diag_msg with(inet_diag_msg socket, void (*change)(inet_diag_msg&)) {
    change(socket);
    return socket;
}

std::vector<std::uint8_t> joined(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::uint8_t> cut(std::vector<std::uint8_t> bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReadDiagReply,
    testing::Values(
        ReplyCase{"the socket", found(socketOf(Udp)), Udp, true, SocketLookup::Found},
        ReplyCase{"bound to 0.0.0.0",
                  found(with(socketOf(Udp), [](inet_diag_msg& s) { s.id.idiag_src[0] = 0; })), Udp,
                  true, SocketLookup::Found},
        ReplyCase{"tcp connection", found(socketOf(Tcp)), Tcp, true, SocketLookup::Found},
        ReplyCase{"tcp listener on the port",
                  found(with(socketOf(Tcp), [](inet_diag_msg& s) { s.idiag_state = 10; })), Tcp,
                  true, SocketLookup::Gone},
        ReplyCase{"no inode (time-wait)",
                  found(with(socketOf(Tcp), [](inet_diag_msg& s) { s.idiag_inode = 0; })), Tcp,
                  true, SocketLookup::Gone},
        ReplyCase{"another port",
                  found(with(socketOf(Udp), [](inet_diag_msg& s) { s.id.idiag_sport = htons(1); })),
                  Udp, true, SocketLookup::Gone},
        ReplyCase{"another address",
                  found(with(socketOf(Udp),
                             [](inet_diag_msg& s) { s.id.idiag_src[0] = ipv4(127, 0, 0, 2); })),
                  Udp, true, SocketLookup::Gone},
        ReplyCase{"IPv6 socket mapping the client's address",
                  found(with(socketOf(Udp),
                             [](inet_diag_msg& s) {
                                 s.idiag_family = AF_INET6;
                                 s.id.idiag_src[2] = htonl(0xFFFF);
                                 s.id.idiag_src[3] = ipv4(127, 0, 0, 1);
                                 s.id.idiag_src[0] = 0;
                             })),
                  Udp, true, SocketLookup::Found},
        ReplyCase{"IPv6 socket bound to ::",
                  found(with(socketOf(Udp),
                             [](inet_diag_msg& s) {
                                 s.idiag_family = AF_INET6;
                                 s.id.idiag_src[0] = 0;
                             })),
                  Udp, true, SocketLookup::Found},
        ReplyCase{"IPv6 socket of another mapped address",
                  found(with(socketOf(Udp),
                             [](inet_diag_msg& s) {
                                 s.idiag_family = AF_INET6;
                                 s.id.idiag_src[0] = 0;
                                 s.id.idiag_src[2] = htonl(0xFFFF);
                                 s.id.idiag_src[3] = ipv4(127, 0, 0, 2);
                             })),
                  Udp, true, SocketLookup::Gone},
        ReplyCase{"IPv6 socket of an IPv6 address",
                  found(with(socketOf(Udp),
                             [](inet_diag_msg& s) {
                                 s.idiag_family = AF_INET6;
                                 s.id.idiag_src[0] = htonl(0xFE800000);
                             })),
                  Udp, true, SocketLookup::Gone},
        ReplyCase{"another family",
                  found(with(socketOf(Udp), [](inet_diag_msg& s) { s.idiag_family = AF_UNIX; })),
                  Udp, true, SocketLookup::Gone},
        ReplyCase{"no such socket", error(-ENOENT), Udp, true, SocketLookup::Gone},
        ReplyCase{"refused", error(-EPERM), Udp, true, SocketLookup::Failed},
        ReplyCase{"error without its code", cut(error(-ENOENT), sizeof(nlmsghdr) + 2), Udp, false,
                  SocketLookup::Failed},
        ReplyCase{"short socket", cut(found(socketOf(Udp)), sizeof(nlmsghdr) + 8), Udp, false,
                  SocketLookup::Failed},
        ReplyCase{"socket record cut short", shortSocket(), Udp, true, SocketLookup::Failed},
        ReplyCase{"error record cut short", shortError(), Udp, true, SocketLookup::Failed},
        ReplyCase{"another request's", found(socketOf(Udp), 4), Udp, false, SocketLookup::Failed},
        ReplyCase{"ours after another's", joined(error(-ENOENT, 4), found(socketOf(Udp))), Udp,
                  true, SocketLookup::Found},
        ReplyCase{"header only", cut(found(socketOf(Udp)), sizeof(nlmsghdr) - 1), Udp, false,
                  SocketLookup::Failed},
        ReplyCase{"empty", {}, Udp, false, SocketLookup::Failed}));

TEST(ReadDiagReply, TrustsNoLengthBeyondTheDatagram) {
    std::vector<std::uint8_t> bytes = found(socketOf(Udp));
    for (const std::uint32_t length : {0u, 3u, 15u, 0xFFFFFFFFu, 100000u}) {
        std::memcpy(bytes.data(), &length, sizeof length);
        EXPECT_FALSE(readDiagReply(bytes, 5, Udp).answersRequest) << length;
    }
}

}  // namespace
}  // namespace corvane
