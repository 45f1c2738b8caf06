#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <utility>

#include "ProxyPathsFixture.h"
#include "proxy/StreamFramer.h"

namespace corvane::test {

// A network layer with one TCP listener and TCP links, driven by a script of
// listener and link events. Bytes sent to each peer or link pile up in
// output[id]; what a peer or link offers lies in input[id] until read.
class StreamNetwork final : public FakeNetwork {
public:
    static constexpr ListenerHandle Tcp = 3;

    std::deque<std::pair<NetEvent, ConnectionId>> listenerEvents;
    std::deque<NetEvent> linkEvents;
    std::map<ConnectionId, Bytes> input;
    std::map<ConnectionId, Bytes> output;
    std::set<ConnectionId> refusing;                     // sends to these fail
    std::map<ConnectionId, std::int32_t> pendingOutput;  // what connPendingOutput says
    std::set<ConnectionId> closedIds;
    ConnectionId lastLink = 0;
    int linksOpened = 0;
    bool linksConnect = true;  // a new link reports Connect at its first poll

    NetEvent listenerPoll(ListenerHandle) override {
        if (listenerEvents.empty()) {
            return NetEvent::None;
        }
        const auto [event, peer] = listenerEvents.front();
        listenerEvents.pop_front();
        last_ = peer;
        return event;
    }
    ConnectionId listenerLastPeer() const override { return last_; }
    ConnectionId linkOpen(std::string_view, std::int64_t, std::uint32_t, std::int32_t,
                          std::string_view, std::int32_t) override {
        ++linksOpened;
        lastLink = static_cast<ConnectionId>(500 + linksOpened);
        if (linksConnect) {
            linkEvents.push_front(NetEvent::Connect);
        }
        return lastLink;
    }
    NetEvent linkPoll(ConnectionId) override {
        if (linkEvents.empty()) {
            return NetEvent::None;
        }
        const NetEvent event = linkEvents.front();
        linkEvents.pop_front();
        return event;
    }
    std::int32_t connRecv(ConnectionId id, std::uint8_t* buffer, std::int32_t capacity) override {
        Bytes& pending = input[id];
        const auto length =
            std::min<std::size_t>(pending.size(), static_cast<std::size_t>(capacity));
        std::copy_n(pending.begin(), length, buffer);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
        return static_cast<std::int32_t>(length);
    }
    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override {
        if (refusing.contains(id)) {
            return -1;
        }
        output[id].insert(output[id].end(), data, data + length);
        return length;
    }
    std::int32_t connPendingOutput(ConnectionId id) const override {
        const auto found = pendingOutput.find(id);
        return found == pendingOutput.end() ? 0 : found->second;
    }
    void connClose(ConnectionId id) override { closedIds.insert(id); }

private:
    ConnectionId last_ = 0;
};

// A message behind its two-byte length, as it travels on a stream.
inline Bytes framed(const Bytes& message) {
    Bytes out(StreamFramer::PrefixLength);
    writeLengthPrefix(message.size(), out.data());
    out.insert(out.end(), message.begin(), message.end());
    return out;
}

inline void append(Bytes& to, const Bytes& more) {
    to.insert(to.end(), more.begin(), more.end());
}

// The messages of a stream, each taken from behind its length.
inline std::vector<Bytes> unframed(const Bytes& stream) {
    std::vector<Bytes> messages;
    std::size_t at = 0;
    while (stream.size() - at >= StreamFramer::PrefixLength) {
        const std::size_t length = static_cast<std::size_t>(stream[at] << 8 | stream[at + 1]);
        at += StreamFramer::PrefixLength;
        if (stream.size() - at < length) {
            break;
        }
        messages.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                              stream.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return messages;
}

}  // namespace corvane::test
