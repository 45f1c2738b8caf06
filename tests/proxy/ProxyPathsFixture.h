#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "proxy/AnswerPath.h"
#include "proxy/KeyText.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/QueryPath.h"
#include "tests/support/Bytes.h"
#include "tests/support/FakeClock.h"
#include "tests/support/FakeLog.h"
#include "tests/support/FakeNetwork.h"
#include "tests/support/TestSeed.h"

namespace corvane::test {

// Question section bytes for names given with "." between labels, each
// followed by type A and class IN.
inline Bytes questions(std::initializer_list<std::string_view> names) {
    Bytes out;
    for (std::string_view name : names) {
        std::size_t start = 0;
        while (start < name.size()) {
            std::size_t dot = name.find('.', start);
            if (dot == std::string_view::npos) {
                dot = name.size();
            }
            out.push_back(static_cast<std::uint8_t>(dot - start));
            out.insert(out.end(), name.begin() + static_cast<std::ptrdiff_t>(start),
                       name.begin() + static_cast<std::ptrdiff_t>(dot));
            start = dot + 1;
        }
        out.insert(out.end(), {0, 0, 1, 0, 1});
    }
    return out;
}

// A query: the 12-byte header with the given ID and QDCOUNT, then body.
inline Bytes message(std::uint8_t id0, std::uint8_t id1, std::uint16_t qdcount, const Bytes& body) {
    Bytes out(12 + body.size(), 0);
    out[0] = id0;
    out[1] = id1;
    out[2] = 0x01;  // recursion desired
    out[4] = static_cast<std::uint8_t>(qdcount >> 8);
    out[5] = static_cast<std::uint8_t>(qdcount & 0xFF);
    std::copy(body.begin(), body.end(), out.begin() + 12);
    return out;
}

// A fixture for tests of the query and answer paths: the services and tables
// they work on, and shorthands to drive a query or an answer through them.
struct ProxyPathsFixture {
    static constexpr ConnectionId Upstream = 99;

    FakeNetwork net;
    FakeLog log;
    FakeClock clock;
    ProxyServices services{net, log, clock};
    QueriesInFlight q{testSeed()};

    std::int32_t inFlight(ConnectionId client) {
        return q.clientRefs.readOrZero(clientKey(client).view()).inFlight;
    }
    bool hasClientRef(ConnectionId client) {
        return q.clientRefs.find(clientKey(client).view()) != nullptr;
    }
    const PendingQuery* pending(std::u16string_view key) { return q.pendingQueries.find(key); }

    // A client's query for names, with ID id0 id1, through the query path.
    void ask(ConnectionId client, std::initializer_list<std::string_view> names,
             std::uint8_t id0 = 0x12, std::uint8_t id1 = 0x34) {
        Bytes datagram =
            message(id0, id1, static_cast<std::uint16_t>(names.size()), questions(names));
        handleQuery(q, datagram.data(), static_cast<std::int32_t>(datagram.size()), client,
                    Upstream, services);
    }
    // The number the last datagram sent upstream went out with (its first
    // byte is the low byte), and that datagram.
    const Bytes& lastUpstream() const {
        for (auto it = net.sent.rbegin(); it != net.sent.rend(); ++it) {
            if (it->to == Upstream) {
                return it->bytes;
            }
        }
        static const Bytes none;
        return none;
    }
    std::uint16_t lastNumber() const { return numberOf(lastUpstream()); }
    static std::uint16_t numberOf(const Bytes& message) {
        return static_cast<std::uint16_t>(message.at(0) | message.at(1) << 8);
    }
    // A number no query in flight holds.
    std::uint16_t freeNumber() const {
        std::uint16_t number = 0x5A5A;
        while (q.heldNumbers.held(number)) {
            ++number;
        }
        return number;
    }
    // The upstream's answer to forwarded, as a resolver makes it: the query
    // with QR set and length - its size bytes of records after it.
    static Bytes answerTo(const Bytes& forwarded, std::size_t length = 0) {
        Bytes out = forwarded;
        out[2] |= 0x80;
        out.resize(std::max(length, out.size()), 0xA5);
        return out;
    }
    void deliver(Bytes datagram) {
        handleAnswer(q, datagram.data(), static_cast<std::int32_t>(datagram.size()), services);
    }
    // The answer to the last query forwarded.
    void answerLast(std::size_t length = 30) { deliver(answerTo(lastUpstream(), length)); }
    // Bytes under a number, as a stray or forged datagram brings them.
    void strayAnswer(std::uint16_t number, std::size_t length = 30) {
        Bytes datagram(length, 0xA5);
        datagram[0] = static_cast<std::uint8_t>(number & 0xFF);
        datagram[1] = static_cast<std::uint8_t>(number >> 8);
        handleAnswer(q, datagram.data(), static_cast<std::int32_t>(length), services);
    }
};

}  // namespace corvane::test
