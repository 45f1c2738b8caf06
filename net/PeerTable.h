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
// every query, and reusing their nodes (and pending buffers) keeps the
// allocator out of the datagram path.
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
};

}  // namespace corvane
