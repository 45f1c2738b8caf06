#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "net/Listener.h"
#include "net/NetTypes.h"
#include "net/Peer.h"

namespace corvane {

// Every open Peer of the layer, client peers and links alike, by ConnectionId,
// together with the listeners' indexes of their clients. Hands out the ids:
// non-zero and unique among open peers.
//
// Records of closed peers are kept for the next ones: clients come and go with
// every query, and reusing their nodes keeps the allocator out of the
// datagram path. So are the buffers of datagram peers, in a pool of their
// own: a peer borrows one for the bytes it has unread and gives it back once
// they are read, so that a client whose query is in flight (up to a minute
// and more, thousands at once) holds none.
class PeerTable {
public:
    PeerTable();

    // A new open peer of the given kind (NetMode::Datagram or NetMode::Stream)
    // with no pending bytes. For a client (owner given) it is also entered in
    // the owner's index; a link joins the list of links. Throws std::bad_alloc
    // and then leaves nothing behind.
    Peer& add(Listener* owner, std::uint32_t address, std::uint16_t port,
              std::uint32_t kind = NetMode::Datagram);

    Peer* find(ConnectionId id);
    const Peer* find(ConnectionId id) const;
    // The link named id; null for a client peer or an unknown id.
    const Peer* findLink(ConnectionId id) const;

    // Every open link, datagram and stream, in no particular order.
    const std::vector<Peer*>& links() const { return links_; }

    // Forgets the peer, its pending bytes, its queued output and its index
    // entry; its own socket, if it has one, is closed (the caller takes it
    // out of the layer's ReadySet first). Unknown ids are ignored.
    void close(ConnectionId id);
    // Closes every peer of the listener.
    void closeAll(Listener& listener);

    // Gives a peer without a buffer one from the pool, of at least
    // NetBufferSize bytes, so that a datagram fits without allocating. Throws
    // std::bad_alloc when the pool is empty and no memory is left.
    void lendBuffer(Peer& peer);
    // Empties the peer's buffer and takes it back into the pool (or frees
    // it, when the pool is full or the buffer grew large).
    void takeBackBuffer(Peer& peer);
    // The bytes the open peers' buffers take up (their capacity): what peers
    // hold beyond their records.
    std::size_t pendingCapacity() const;

    std::size_t size() const { return peers_.size(); }

private:
    using Table = std::unordered_map<ConnectionId, Peer>;
    using Index = std::unordered_map<std::uint64_t, Peer*>;

    ConnectionId nextFreeId();
    void release(Table::iterator found);

    Table peers_;
    std::vector<Peer*> links_;
    ConnectionId nextId_ = 1;
    std::vector<Table::node_type> sparePeers_;
    std::vector<Index::node_type> spareIndexEntries_;
    std::vector<std::vector<std::uint8_t>> spareBuffers_;
};

}  // namespace corvane
