#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "NetTestSupport.h"

// These tests need several local addresses and a listener on the any-address,
// so their sockets live in a private network namespace of their own.
namespace corvane::test {
namespace {

TEST(LocalAddress, ReplyLeavesFromTheAddressTheQueryWentTo) {
    PosixNetwork net;
    ASSERT_EQ(net.netStartup(), 1);
    ListenerHandle listener = 0;
    std::unique_ptr<UdpProbe> client;
    if (!inPrivateNetwork([&] {
            listener = net.listenerOpen(AnyNumber, 0, NetMode::Datagram);
            client = std::make_unique<UdpProbe>("127.0.0.1");
        })) {
        GTEST_SKIP() << "no private network namespace (needs root)";
    }
    ASSERT_NE(listener, 0u);
    ASSERT_TRUE(client->bound());
    const std::uint16_t port = net.listenerPort(listener);

    // The same client asks each local address in turn; every answer must come
    // from the address it asked, and always from the listener's port.
    for (const char* address : {"127.0.0.2", "127.0.0.1", "127.0.0.3"}) {
        SCOPED_TRACE(address);
        ASSERT_TRUE(client->sendTo(address, port, bytesOf("query")));
        ASSERT_EQ(pollListenerForData(net, listener), NetEvent::Data);
        const ConnectionId id = net.listenerLastPeer();
        EXPECT_EQ(readAll(net, id), bytesOf("query"));
        const Bytes reply = bytesOf("reply");
        EXPECT_EQ(net.connSend(id, reply.data(), 5), 5);
        const auto got = client->receive();
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(got->address, address);
        EXPECT_EQ(got->port, port);
    }
}

TEST(LocalAddress, LinkDropsAnswersFromAnotherAddress) {
    PosixNetwork net;
    ASSERT_EQ(net.netStartup(), 1);
    ConnectionId link = 0;
    std::unique_ptr<UdpProbe> resolver;
    std::unique_ptr<UdpProbe> forger;
    if (!inPrivateNetwork([&] {
            resolver = std::make_unique<UdpProbe>("127.0.0.1");
            // Same port as the resolver, on another address.
            forger = std::make_unique<UdpProbe>("127.0.0.2", resolver->port());
            link = net.linkOpen("127.0.0.1", resolver->port(), NetMode::Datagram, 30);
        })) {
        GTEST_SKIP() << "no private network namespace (needs root)";
    }
    ASSERT_TRUE(resolver->bound());
    ASSERT_TRUE(forger->bound());
    ASSERT_NE(link, 0u);

    const Bytes query = bytesOf("q");
    ASSERT_EQ(net.connSend(link, query.data(), 1), 1);
    const auto seen = resolver->receive();
    ASSERT_TRUE(seen.has_value());
    ASSERT_TRUE(forger->sendTo("127.0.0.1", seen->port, bytesOf("forged")));
    ASSERT_TRUE(resolver->sendTo("127.0.0.1", seen->port, bytesOf("genuine")));
    ASSERT_EQ(pollLinkForData(net, link), NetEvent::Data);
    EXPECT_EQ(readAll(net, link), bytesOf("genuine"));
    net.connClose(link);
}

}  // namespace
}  // namespace corvane::test
