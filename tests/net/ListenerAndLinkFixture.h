#pragma once

#include <cstdint>

#include <gtest/gtest.h>

#include "NetTestSupport.h"

namespace corvane::test {

// Far beyond a test's own time-out: a wait that ignored readiness would hang
// until the test runner gives up, and fail there, instead of passing by luck.
constexpr std::int32_t Forever = 600'000;

// A started network with a datagram listener on loopback and a link to a
// resolver probe that has already taken one query, so both endpoints can be
// made readable from outside: a client datagram for the listener, the
// resolver's for the link.
class ListenerAndLinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(net.netStartup(), 1);
        listener = net.listenerOpen(AnyNumber, 0, NetMode::Datagram, "127.0.0.1");
        ASSERT_NE(listener, 0u);
        ASSERT_TRUE(resolver.bound());
        link = net.linkOpen("127.0.0.1", resolver.port(), NetMode::Datagram, 30);
        ASSERT_NE(link, 0u);
        const Bytes query = bytesOf("q");
        ASSERT_EQ(net.connSend(link, query.data(), 1), 1);
        ASSERT_TRUE(resolver.receive().has_value());
    }

    bool sendToListener() {
        return client.sendTo("127.0.0.1", net.listenerPort(listener), bytesOf("q"));
    }
    bool sendToLink() {
        return resolver.sendTo("127.0.0.1", net.linkLocalPort(link), bytesOf("a"));
    }

    PosixNetwork net;
    ListenerHandle listener = 0;
    UdpProbe resolver;
    UdpProbe client;
    ConnectionId link = 0;
};

}  // namespace corvane::test
