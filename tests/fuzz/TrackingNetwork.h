#pragma once

#include <cstdint>
#include <unordered_map>
#include <unordered_set>

#include "FuzzCheck.h"
#include "tests/support/FakeNetwork.h"

namespace corvane::fuzz {

// The network as the proxy paths see it, with the calling rules of the layer
// checked on every call: a client ConnectionId is open from the datagram that
// brought it until its one connClose, and nothing is sent to, closed on or
// asked the ends of an id that is not open. The upstream link is always open and never closed by
// the paths, which call nothing but connSend and connClose. Every byte handed
// to connSend is copied, so a send that reaches past its buffer shows up
// under AddressSanitizer.
class TrackingNetwork final : public test::FakeNetwork {
public:
    explicit TrackingNetwork(ConnectionId upstream) : upstream_(upstream) {}

    // A datagram from id was taken from the listener: the peer is open now.
    void receivedFrom(ConnectionId id) {
        FUZZ_CHECK(id != 0 && id != upstream_, "harness: client id clashes");
        open_.insert(id);
    }
    bool isOpen(ConnectionId id) const { return open_.count(id) != 0; }
    const std::unordered_set<ConnectionId>& openClients() const { return open_; }

    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override {
        FUZZ_CHECK(id == upstream_ || isOpen(id), "send to a ConnectionId that is not open");
        FUZZ_CHECK(length >= 0, "send of a negative length");
        return FakeNetwork::connSend(id, data, length);
    }

    // The ends of the clients whose queries are attributed; asked only of a
    // peer that is open.
    std::unordered_map<ConnectionId, PeerEnds> ends;
    bool connEnds(ConnectionId id, PeerEnds& out) const override {
        FUZZ_CHECK(isOpen(id), "ends asked of a ConnectionId that is not open");
        const auto found = ends.find(id);
        if (found == ends.end()) {
            return false;
        }
        out = found->second;
        return true;
    }

    void connClose(ConnectionId id) override {
        FUZZ_CHECK(id != upstream_, "the upstream link closed by a proxy path");
        FUZZ_CHECK(open_.erase(id) == 1, "close of a ConnectionId that is not open");
        FakeNetwork::connClose(id);
    }

private:
    void unscripted(const char*) const override {
        FUZZ_CHECK(false, "network operation the proxy paths never call");
    }

    ConnectionId upstream_;
    std::unordered_set<ConnectionId> open_;
};

}  // namespace corvane::fuzz
