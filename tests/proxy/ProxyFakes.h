#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "log/Clock.h"
#include "log/Log.h"
#include "log/Utf8.h"
#include "net/Network.h"
#include "proxy/AnswerPath.h"
#include "proxy/KeyText.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/QueryPath.h"

namespace corvane::test {

using Bytes = std::vector<std::uint8_t>;

// Records what the proxy sends and closes; every send succeeds in full
// unless sendResult names another result for the destination.
class FakeNetwork : public Network {
public:
    struct Sent {
        ConnectionId to;
        Bytes bytes;
    };
    std::vector<Sent> sent;
    std::vector<ConnectionId> closed;
    std::map<ConnectionId, std::int32_t> sendResult;

    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override {
        sent.push_back({id, Bytes(data, data + length)});
        const auto forced = sendResult.find(id);
        return forced != sendResult.end() ? forced->second : length;
    }
    void connClose(ConnectionId id) override { closed.push_back(id); }

    int netStartup() override { return 1; }
    void netShutdown() override {}
    ListenerHandle listenerOpen(std::int32_t, std::int64_t, std::uint32_t,
                                std::string_view) override {
        return 0;
    }
    NetEvent listenerPoll(ListenerHandle) override { return NetEvent::None; }
    ConnectionId listenerLastPeer() const override { return 0; }
    void listenerClose(ListenerHandle) override {}
    ConnectionId linkOpen(std::string_view, std::int64_t, std::uint32_t, std::int32_t,
                          std::string_view, std::int32_t) override {
        return 0;
    }
    NetEvent linkPoll(ConnectionId) override { return NetEvent::None; }
    std::int32_t linkLastLength(ConnectionId) const override { return 0; }
    std::int32_t connRecv(ConnectionId, std::uint8_t*, std::int32_t) override { return 0; }
    std::int32_t connPendingOutput(ConnectionId) const override { return 0; }
    void waitReady(std::int32_t) override {}
};

// Keeps every message, as UTF-8 for readable comparisons.
class FakeLog : public Log {
public:
    std::vector<std::string> lines;
    void logLine(std::u16string_view message) override {
        std::string line;
        appendUtf8(message, line);
        lines.push_back(line);
    }
};

// Stands still unless told to move; stepPerRead advances it after each read.
class FakeClock : public Clock {
public:
    mutable std::int64_t now = 1000;
    std::int64_t stepPerRead = 0;
    std::int64_t localSeconds() const override {
        const std::int64_t reading = now;
        now += stepPerRead;
        return reading;
    }
};

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

// The services and tables every proxy test works on.
struct ProxyBench {
    static constexpr ConnectionId Upstream = 99;

    FakeNetwork net;
    FakeLog log;
    FakeClock clock;
    ProxyServices services{net, log, clock};
    QueriesInFlight q;

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
    // An answer of length bytes carrying the upstream number, low byte first.
    void answer(std::uint16_t number, std::size_t length = 30) {
        Bytes datagram(length, 0xA5);
        datagram[0] = static_cast<std::uint8_t>(number & 0xFF);
        datagram[1] = static_cast<std::uint8_t>(number >> 8);
        handleAnswer(q, datagram.data(), static_cast<std::int32_t>(length), services);
    }
};

}  // namespace corvane::test
