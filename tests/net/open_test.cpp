#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "NetTestSupport.h"

namespace corvane::test {
namespace {

using namespace std::string_view_literals;

constexpr std::uint32_t Dgram = NetMode::Datagram;

struct ListenerOpenCase {
    const char* name;
    std::int32_t number;
    std::int64_t port;
    std::uint32_t mode;
    std::string_view localAddress;
};

void PrintTo(const ListenerOpenCase& row, std::ostream* out) {
    *out << row.name;
}

class ListenerOpenRefusal : public ::testing::TestWithParam<ListenerOpenCase> {};

TEST_P(ListenerOpenRefusal, ReturnsZeroAndLeavesNothingOpen) {
    PosixNetwork net;
    ASSERT_EQ(net.netStartup(), 1);
    const std::size_t descriptors = openDescriptorCount();
    const ListenerOpenCase& c = GetParam();
    EXPECT_EQ(net.listenerOpen(c.number, c.port, c.mode, c.localAddress), 0u);
    EXPECT_EQ(openDescriptorCount(), descriptors);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ListenerOpenRefusal,
    ::testing::Values(
        ListenerOpenCase{"PortAboveRange", AnyNumber, 65536, Dgram, "127.0.0.1"},
        ListenerOpenCase{"NegativePort", AnyNumber, -1, Dgram, "127.0.0.1"},
        ListenerOpenCase{"StreamPortAboveRange", AnyNumber, 65536, NetMode::Stream, "127.0.0.1"},
        ListenerOpenCase{"StreamBadAddress", AnyNumber, 0, 0, "300.1.1.1"},
        ListenerOpenCase{"StreamIPv6", AnyNumber, 0, NetMode::Stream | NetMode::IPv6, "::1"},
        ListenerOpenCase{"UnknownMode", AnyNumber, 0, 3, "127.0.0.1"},
        ListenerOpenCase{"IPv6", AnyNumber, 0, Dgram | NetMode::IPv6, "::1"},
        ListenerOpenCase{"BadAddress", AnyNumber, 0, Dgram, "300.1.1.1"},
        ListenerOpenCase{"NameAsAddress", AnyNumber, 0, Dgram, "localhost"},
        ListenerOpenCase{"EmbeddedNul", AnyNumber, 0, Dgram, "127.0.0.1\0x"sv},
        ListenerOpenCase{"NumberZero", 0, 0, Dgram, "127.0.0.1"},
        ListenerOpenCase{"NegativeNumber", -2, 0, Dgram, "127.0.0.1"}),
    [](const auto& row) { return std::string(row.param.name); });

struct LinkOpenCase {
    const char* name;
    std::string_view host;
    std::int64_t port;
    std::uint32_t mode;
    std::string_view localAddress;
    std::int32_t localPort;
};

void PrintTo(const LinkOpenCase& row, std::ostream* out) {
    *out << row.name;
}

class LinkOpenRefusal : public ::testing::TestWithParam<LinkOpenCase> {};

TEST_P(LinkOpenRefusal, ReturnsZeroAndLeavesNothingOpen) {
    PosixNetwork net;
    ASSERT_EQ(net.netStartup(), 1);
    const std::size_t descriptors = openDescriptorCount();
    const LinkOpenCase& c = GetParam();
    EXPECT_EQ(net.linkOpen(c.host, c.port, c.mode, 30, c.localAddress, c.localPort), 0u);
    EXPECT_EQ(openDescriptorCount(), descriptors);
    EXPECT_EQ(net.openPeerCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LinkOpenRefusal,
    ::testing::Values(
        LinkOpenCase{"AbsentHost", ""sv, 53, Dgram, {}, 0},
        LinkOpenCase{"Broadcast", "255.255.255.255"sv, 53, Dgram, {}, 0},
        LinkOpenCase{"EmbeddedNul", "127.0.0.1\0evil"sv, 53, Dgram, {}, 0},
        LinkOpenCase{"PortAboveRange", "127.0.0.1"sv, 65536, Dgram, {}, 0},
        LinkOpenCase{"NegativePort", "127.0.0.1"sv, -1, Dgram, {}, 0},
        LinkOpenCase{"StreamBroadcast", "255.255.255.255"sv, 53, NetMode::Stream, {}, 0},
        LinkOpenCase{"StreamBadLocalAddress", "127.0.0.1"sv, 53, NetMode::Stream, "nowhere", 0},
        LinkOpenCase{"IPv6", "127.0.0.1"sv, 53, Dgram | NetMode::IPv6, {}, 0},
        LinkOpenCase{"LocalPortAboveRange", "127.0.0.1"sv, 53, Dgram, {}, 70000},
        LinkOpenCase{"BadLocalAddress", "127.0.0.1"sv, 53, Dgram, "nowhere", 0}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(NetLifecycle, NothingOpensBeforeStartupOrAfterShutdown) {
    PosixNetwork net;
    EXPECT_EQ(net.listenerOpen(AnyNumber, 0, Dgram, "127.0.0.1"), 0u);
    EXPECT_EQ(net.linkOpen("127.0.0.1", 53, Dgram, 30), 0u);

    ASSERT_EQ(net.netStartup(), 1);
    const ListenerHandle listener = net.listenerOpen(AnyNumber, 0, Dgram, "127.0.0.1");
    ASSERT_NE(listener, 0u);
    // A second start-up changes nothing: the listener stays open.
    EXPECT_EQ(net.netStartup(), 1);
    const std::uint16_t port = net.listenerPort(listener);
    EXPECT_NE(port, 0);

    const ConnectionId link = net.linkOpen("127.0.0.1", 53, Dgram, 30);
    ASSERT_NE(link, 0u);
    net.netShutdown();
    EXPECT_EQ(net.listenerPort(listener), 0);
    EXPECT_TRUE(UdpProbe("127.0.0.1", port).bound());
    // Links are the caller's to close.
    EXPECT_EQ(net.openPeerCount(), 1u);
    net.connClose(link);
    EXPECT_EQ(net.openPeerCount(), 0u);
    EXPECT_EQ(net.listenerOpen(AnyNumber, 0, Dgram, "127.0.0.1"), 0u);
}

TEST(NetLifecycle, PortHeldByAnotherSocketFailsTheOpen) {
    PosixNetwork net;
    ASSERT_EQ(net.netStartup(), 1);
    UdpProbe holder;
    ASSERT_TRUE(holder.bound());
    EXPECT_EQ(net.listenerOpen(AnyNumber, holder.port(), Dgram, "127.0.0.1"), 0u);
}

TEST(NetLifecycle, FixedNumbersNameOneListenerEach) {
    PosixNetwork net;
    ASSERT_EQ(net.netStartup(), 1);
    ASSERT_EQ(net.listenerOpen(5, 0, Dgram, "127.0.0.1"), 5u);
    const std::uint16_t replacedPort = net.listenerPort(5);
    // Opening the number again replaces the listener behind it.
    ASSERT_EQ(net.listenerOpen(5, 0, Dgram, "127.0.0.1"), 5u);
    EXPECT_TRUE(UdpProbe("127.0.0.1", replacedPort).bound());

    const ListenerHandle any1 = net.listenerOpen(AnyNumber, 0, Dgram, "127.0.0.1");
    const ListenerHandle any2 = net.listenerOpen(AnyNumber, 0, Dgram, "127.0.0.1");
    EXPECT_NE(any1, 0u);
    EXPECT_NE(any2, 0u);
    EXPECT_NE(any1, any2);
    EXPECT_NE(any1, 5u);

    const std::uint16_t ports[] = {net.listenerPort(5), net.listenerPort(any1),
                                   net.listenerPort(any2)};
    net.listenerClose(static_cast<ListenerHandle>(-1));
    for (const std::uint16_t freed : ports) {
        EXPECT_NE(freed, 0);
        EXPECT_TRUE(UdpProbe("127.0.0.1", freed).bound());
    }
}

}  // namespace
}  // namespace corvane::test
