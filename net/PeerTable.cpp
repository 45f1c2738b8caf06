#include "net/PeerTable.h"

#include <new>
#include <utility>
#include <vector>

namespace corvane {

namespace {

// How many closed records are kept for reuse; how many buffers the pool
// keeps, and the largest worth keeping: a client that piled up unread
// datagrams should not pin that memory for ever. The proxy reads every
// datagram in the turn it arrives, so a client and the link borrow at most
// one buffer each at a time.
constexpr std::size_t MaxSpareRecords = 256;
constexpr std::size_t MaxSpareBuffers = 8;
constexpr std::size_t MaxKeptPendingCapacity = 8192;

// Where a client is filed in its listener's index (see Listener::peers).
std::uint64_t indexKey(const Peer& peer) {
    return peer.kind == NetMode::Stream
               ? peer.id
               : endpointKey(peer.remoteAddress, static_cast<std::uint16_t>(peer.remotePort));
}

}  // namespace

PeerTable::PeerTable() {
    sparePeers_.reserve(MaxSpareRecords);
    spareIndexEntries_.reserve(MaxSpareRecords);
    spareBuffers_.reserve(MaxSpareBuffers);
}

Peer& PeerTable::add(Listener* owner, std::uint32_t address, std::uint16_t port,
                     std::uint32_t kind) {
    const ConnectionId id = nextFreeId();
    Peer* peer = nullptr;
    if (!sparePeers_.empty()) {
        Table::node_type node = std::move(sparePeers_.back());
        sparePeers_.pop_back();
        node.key() = id;
        peer = &peers_.insert(std::move(node)).position->second;
    } else {
        peer = &peers_.try_emplace(id).first->second;
    }
    peer->id = id;
    peer->kind = kind;
    peer->owner = owner;
    peer->remoteAddress = address;
    peer->remotePort = port;
    try {
        if (owner == nullptr) {
            links_.push_back(peer);
        } else if (!spareIndexEntries_.empty()) {
            Index::node_type node = std::move(spareIndexEntries_.back());
            spareIndexEntries_.pop_back();
            node.key() = indexKey(*peer);
            node.mapped() = peer;
            owner->peers.insert(std::move(node));
        } else {
            owner->peers.emplace(indexKey(*peer), peer);
        }
    } catch (const std::bad_alloc&) {
        release(peers_.find(id));
        throw;
    }
    return *peer;
}

Peer* PeerTable::find(ConnectionId id) {
    const auto found = peers_.find(id);
    return found == peers_.end() ? nullptr : &found->second;
}

const Peer* PeerTable::find(ConnectionId id) const {
    const auto found = peers_.find(id);
    return found == peers_.end() ? nullptr : &found->second;
}

const Peer* PeerTable::findLink(ConnectionId id) const {
    const Peer* peer = find(id);
    return peer == nullptr || peer->owner != nullptr ? nullptr : peer;
}

void PeerTable::close(ConnectionId id) {
    const auto found = peers_.find(id);
    if (found == peers_.end()) {
        return;
    }
    if (Listener* owner = found->second.owner; owner != nullptr) {
        const auto entry = owner->peers.find(indexKey(found->second));
        if (entry != owner->peers.end()) {
            auto node = owner->peers.extract(entry);
            if (spareIndexEntries_.size() < MaxSpareRecords) {
                spareIndexEntries_.push_back(std::move(node));
            }
        }
    }
    release(found);
}

void PeerTable::closeAll(Listener& listener) {
    for (auto& [key, peer] : listener.peers) {
        release(peers_.find(peer->id));
    }
    listener.peers.clear();
}

void PeerTable::lendBuffer(Peer& peer) {
    if (peer.pending.capacity() == 0 && !spareBuffers_.empty()) {
        peer.pending = std::move(spareBuffers_.back());
        spareBuffers_.pop_back();
    }
    peer.pending.reserve(static_cast<std::size_t>(NetBufferSize));
}

void PeerTable::takeBackBuffer(Peer& peer) {
    peer.pending.clear();
    const std::size_t capacity = peer.pending.capacity();
    if (capacity != 0 && capacity <= MaxKeptPendingCapacity &&
        spareBuffers_.size() < MaxSpareBuffers) {
        // Reserved: taking it back never allocates.
        spareBuffers_.push_back(std::move(peer.pending));
    }
    std::vector<std::uint8_t>().swap(peer.pending);
}

std::size_t PeerTable::pendingCapacity() const {
    std::size_t total = 0;
    for (const auto& [id, peer] : peers_) {
        total += peer.pending.capacity();
    }
    return total;
}

ConnectionId PeerTable::nextFreeId() {
    // Counting up and skipping values still open keeps an id from naming a
    // new peer soon after close, while the proxy may still hold the old one.
    for (;;) {
        const ConnectionId id = nextId_++;
        if (id != 0 && !peers_.contains(id)) {
            return id;
        }
    }
}

void PeerTable::release(Table::iterator found) {
    if (found == peers_.end()) {
        return;
    }
    Table::node_type node = peers_.extract(found);
    Peer& peer = node.mapped();
    if (peer.owner == nullptr) {
        std::erase(links_, &peer);
    }
    // The caller took the socket out of the layer's ReadySet before.
    peer.socket.reset();
    peer.readiness = {};
    peer.owner = nullptr;
    peer.unread = 0;
    peer.readPosition = 0;
    peer.hasLocalAddress = false;
    peer.wireLength = 0;
    peer.state = StreamState::Open;
    peer.output.clear();
    takeBackBuffer(peer);
    if (sparePeers_.size() < MaxSpareRecords) {
        sparePeers_.push_back(std::move(node));
    }
}

}  // namespace corvane
