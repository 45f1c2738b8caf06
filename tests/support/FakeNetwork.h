#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string_view>
#include <vector>

#include "net/Network.h"
#include "tests/support/Bytes.h"

namespace corvane::test {

// The network layer as the proxy sees it, without sockets. It keeps what is
// sent and closed; every send succeeds in full unless sendResult names
// another result for the destination. Every other operation does nothing and
// finds nothing: a fake that scripts one overrides it, and unscripted() hears
// of each call to the rest, so a fake can also forbid them. A new operation
// of the layer is one more line here.
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
        sent.push_back({id, length > 0 ? Bytes(data, data + length) : Bytes{}});
        const auto forced = sendResult.find(id);
        return forced != sendResult.end() ? forced->second : length;
    }
    // The two parts joined, as the one connSend whose fate they share.
    std::int32_t connSendParts(ConnectionId id, std::span<const std::uint8_t> first,
                               std::span<const std::uint8_t> second) override {
        Bytes joined(first.begin(), first.end());
        joined.insert(joined.end(), second.begin(), second.end());
        return connSend(id, joined.data(), static_cast<std::int32_t>(joined.size()));
    }
    void connClose(ConnectionId id) override { closed.push_back(id); }

    int netStartup() override { return idle("netStartup", 1); }
    void netShutdown() override { unscripted("netShutdown"); }
    ListenerHandle listenerOpen(std::int32_t, std::int64_t, std::uint32_t,
                                std::string_view) override {
        return idle<ListenerHandle>("listenerOpen", 0);
    }
    NetEvent listenerPoll(ListenerHandle) override { return idle("listenerPoll", NetEvent::None); }
    ConnectionId listenerLastPeer() const override {
        return idle<ConnectionId>("listenerLastPeer", 0);
    }
    void listenerClose(ListenerHandle) override { unscripted("listenerClose"); }
    ConnectionId linkOpen(std::string_view, std::int64_t, std::uint32_t, std::int32_t,
                          std::string_view, std::int32_t) override {
        return idle<ConnectionId>("linkOpen", 0);
    }
    NetEvent linkPoll(ConnectionId) override { return idle("linkPoll", NetEvent::None); }
    std::int32_t linkLastLength(ConnectionId) const override { return idle("linkLastLength", 0); }
    std::int32_t connRecv(ConnectionId, std::uint8_t*, std::int32_t) override {
        return idle("connRecv", 0);
    }
    std::int32_t connPendingOutput(ConnectionId) const override {
        return idle("connPendingOutput", 0);
    }
    std::uint32_t connRemoteHost(ConnectionId) const override {
        return idle<std::uint32_t>("connRemoteHost", 0);
    }
    bool connEnds(ConnectionId, PeerEnds&) const override { return idle("connEnds", false); }
    void waitReady(std::int32_t) override { unscripted("waitReady"); }

protected:
    virtual void unscripted(const char* /*operation*/) const {}

private:
    template <typename Result>
    Result idle(const char* operation, Result result) const {
        unscripted(operation);
        return result;
    }
};

}  // namespace corvane::test
