#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "FuzzCheck.h"
#include "net/Network.h"

namespace corvane::fuzz {

// The network as the proxy paths see it, with the calling rules of the layer
// checked on every call: a client ConnectionId is open from the datagram that
// brought it until its one connClose, and nothing is sent to or closed on an
// id that is not open. The upstream link is always open and never closed by
// the paths. Every byte handed to connSend is copied, so a send that reaches
// past its buffer shows up under AddressSanitizer.
class TrackingNetwork final : public Network {
public:
    struct Sent {
        ConnectionId to;
        std::vector<std::uint8_t> bytes;
    };

    explicit TrackingNetwork(ConnectionId upstream) : upstream_(upstream) {}

    // A datagram from id was taken from the listener: the peer is open now.
    void receivedFrom(ConnectionId id) {
        FUZZ_CHECK(id != 0 && id != upstream_, "harness: client id clashes");
        open_.insert(id);
    }
    bool isOpen(ConnectionId id) const { return open_.count(id) != 0; }
    const std::unordered_set<ConnectionId>& openClients() const { return open_; }
    std::size_t closeCount() const { return closes_; }

    // What connSend returns for sends to id; by default the full length.
    void setSendResult(ConnectionId id, std::int32_t result) { sendResult_[id] = result; }
    void clearSendResult(ConnectionId id) { sendResult_.erase(id); }

    std::vector<Sent> sent;

    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override {
        FUZZ_CHECK(id == upstream_ || isOpen(id), "send to a ConnectionId that is not open");
        FUZZ_CHECK(length >= 0, "send of a negative length");
        sent.push_back({id, std::vector<std::uint8_t>(data, data + length)});
        const auto forced = sendResult_.find(id);
        return forced != sendResult_.end() ? forced->second : length;
    }

    void connClose(ConnectionId id) override {
        FUZZ_CHECK(id != upstream_, "the upstream link closed by a proxy path");
        FUZZ_CHECK(open_.erase(id) == 1, "close of a ConnectionId that is not open");
        ++closes_;
    }

    // The paths under test use only connSend and connClose.
    int netStartup() override { return unexpected(); }
    void netShutdown() override { unexpected(); }
    ListenerHandle listenerOpen(std::int32_t, std::int64_t, std::uint32_t,
                                std::string_view) override {
        return static_cast<ListenerHandle>(unexpected());
    }
    NetEvent listenerPoll(ListenerHandle) override {
        unexpected();
        return NetEvent::None;
    }
    ConnectionId listenerLastPeer() const override {
        return static_cast<ConnectionId>(unexpected());
    }
    void listenerClose(ListenerHandle) override { unexpected(); }
    ConnectionId linkOpen(std::string_view, std::int64_t, std::uint32_t, std::int32_t,
                          std::string_view, std::int32_t) override {
        return static_cast<ConnectionId>(unexpected());
    }
    NetEvent linkPoll(ConnectionId) override {
        unexpected();
        return NetEvent::None;
    }
    std::int32_t linkLastLength(ConnectionId) const override { return unexpected(); }
    std::int32_t connRecv(ConnectionId, std::uint8_t*, std::int32_t) override {
        return unexpected();
    }
    std::int32_t connPendingOutput(ConnectionId) const override { return unexpected(); }
    void waitReady(std::int32_t) override { unexpected(); }

private:
    static int unexpected() {
        FUZZ_CHECK(false, "network operation the proxy paths never call");
        return 0;
    }

    ConnectionId upstream_;
    std::unordered_set<ConnectionId> open_;
    std::unordered_map<ConnectionId, std::int32_t> sendResult_;
    std::size_t closes_ = 0;
};

}  // namespace corvane::fuzz
