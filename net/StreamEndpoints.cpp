#include "net/StreamEndpoints.h"

#include <arpa/inet.h>

#include <cerrno>
#include <new>

#include "net/SocketOps.h"
#include "net/StreamSocketOps.h"

namespace corvane {

namespace {

constexpr short ReadyForInput = POLLIN | POLLHUP | POLLERR;

// A peer that has an event to report without asking the system: bytes it
// holds, or a failure not reported yet.
bool eventDue(const Peer& peer) {
    return peer.state == StreamState::Broken ||
           (peer.state == StreamState::Open && peer.unread > 0);
}

}  // namespace

StreamEndpoints::StreamEndpoints(PeerTable& peers, std::size_t outputLimit)
    : peers_(peers), outputLimit_(outputLimit) {}

StreamEndpoints::Polled StreamEndpoints::pollListener(Listener& listener) {
    StreamRound& round = listener.round;
    if (round.usedUp() && !startRound(listener)) {
        return {};
    }
    // Entries whose peer was closed meanwhile, or that found nothing after
    // all, are skipped; the round never restarts within one call, so the
    // call stays bounded.
    while (!round.usedUp()) {
        const ConnectionId id = round.ready[round.next++];
        if (id == 0) {
            if (const Polled accepted = accept(listener); accepted.event != NetEvent::None) {
                return accepted;
            }
            continue;
        }
        Peer* peer = peers_.find(id);
        if (peer == nullptr || peer->owner != &listener) {
            continue;
        }
        if (const NetEvent event = receive(*peer); event != NetEvent::None) {
            return {event, id};
        }
    }
    return {};
}

bool StreamEndpoints::startRound(Listener& listener) {
    StreamRound& round = listener.round;
    round.fds.clear();
    round.ids.clear();
    round.ready.clear();
    round.next = 0;
    round.fds.push_back(pollfd{listener.socket.get(), POLLIN, 0});
    round.ids.push_back(0);
    for (const auto& [key, peer] : listener.peers) {
        pollfd entry{};
        watch(*peer, entry);
        round.fds.push_back(entry);
        round.ids.push_back(peer->id);
    }
    sockops::waitForEvents(round.fds.data(), round.fds.size(), 0);
    collectReady(listener);
    return !round.ready.empty();
}

void StreamEndpoints::collectReady(Listener& listener) {
    StreamRound& round = listener.round;
    // New connections are offered first, so a busy listener still accepts.
    if ((round.fds[0].revents & POLLIN) != 0) {
        round.ready.push_back(0);
    }
    for (std::size_t i = 1; i < round.fds.size(); ++i) {
        Peer* peer = peers_.find(round.ids[i]);
        if (peer == nullptr) {
            continue;
        }
        const short revents = round.fds[i].revents;
        if ((revents & POLLOUT) != 0) {
            flush(*peer);
        }
        if (eventDue(*peer) || (revents & ReadyForInput) != 0) {
            round.ready.push_back(peer->id);
        }
    }
}

StreamEndpoints::Polled StreamEndpoints::accept(Listener& listener) {
    sockops::Accepted accepted = sockops::acceptConnection(listener.socket.get());
    if (!accepted.fd) {
        // Nothing waiting (another round took it), the client gave up before
        // its turn, or no descriptor is free: this entry has nothing.
        return {};
    }
    sockops::setNoDelay(accepted.fd.get());
    Peer& peer = peers_.add(&listener, accepted.remote.sin_addr.s_addr,
                            ntohs(accepted.remote.sin_port), NetMode::Stream);
    peer.socket = std::move(accepted.fd);
    peer.state = StreamState::Open;
    return {NetEvent::Connect, peer.id};
}

NetEvent StreamEndpoints::receive(Peer& peer) {
    if (peer.state == StreamState::Gone || peer.state == StreamState::Connecting) {
        return NetEvent::None;
    }
    // Bytes still held come before the news that no more will follow.
    if (peer.unread > 0) {
        return NetEvent::Data;
    }
    if (peer.state == StreamState::Broken) {
        peer.state = StreamState::Gone;
        return NetEvent::Disconnect;
    }
    const sockops::Transfer got =
        sockops::receiveStream(peer.socket.get(), area_.data(), area_.size());
    if (got.count < 0 && sockops::wouldBlock(got.error)) {
        return NetEvent::None;
    }
    if (got.count <= 0) {
        // End of stream, or a reset or other failure: the peer is gone.
        peer.state = StreamState::Gone;
        peer.output.clear();
        return NetEvent::Disconnect;
    }
    try {
        peer.pending.assign(area_.begin(), area_.begin() + got.count);
    } catch (const std::bad_alloc&) {
        // The bytes are off the socket and cannot be kept: the stream has a
        // hole, so the connection is of no more use.
        peer.state = StreamState::Gone;
        peer.output.clear();
        return NetEvent::Disconnect;
    }
    peer.readPosition = 0;
    peer.unread = static_cast<std::int32_t>(got.count);
    return NetEvent::Data;
}

ConnectionId StreamEndpoints::openLink(const sockaddr_in& remote, const sockaddr_in* local) {
    sockops::NewSocket created = sockops::openTcpSocket();
    if (!created.fd || (local != nullptr && sockops::bindIPv4(created.fd.get(), *local) != 0)) {
        return 0;
    }
    sockops::setNoDelay(created.fd.get());
    const int started = sockops::startConnect(created.fd.get(), remote);
    Peer& link =
        peers_.add(nullptr, remote.sin_addr.s_addr, ntohs(remote.sin_port), NetMode::Stream);
    link.socket = std::move(created.fd);
    // Even a connect that completed at once is reported by the first poll,
    // so the caller always sees Connect before anything else.
    link.state =
        started == 0 || started == EINPROGRESS ? StreamState::Connecting : StreamState::Broken;
    return link.id;
}

NetEvent StreamEndpoints::pollLink(Peer& link) {
    if (link.state == StreamState::Connecting) {
        return finishConnect(link);
    }
    if (link.state == StreamState::Open && !link.output.empty()) {
        flush(link);
    }
    return receive(link);
}

NetEvent StreamEndpoints::finishConnect(Peer& link) {
    pollfd entry{link.socket.get(), POLLOUT, 0};
    if (sockops::waitForEvents(&entry, 1, 0) <= 0) {
        return NetEvent::None;
    }
    if (sockops::connectResult(link.socket.get()) != 0) {
        link.state = StreamState::Gone;
        link.output.clear();
        return NetEvent::Disconnect;
    }
    link.state = StreamState::Open;
    flush(link);
    return NetEvent::Connect;
}

std::int32_t StreamEndpoints::send(Peer& peer, const std::uint8_t* data, std::int32_t length) {
    if (peer.state == StreamState::Broken || peer.state == StreamState::Gone ||
        peer.output.size() + static_cast<std::size_t>(length) > outputLimit_) {
        return -1;
    }
    const bool queueWasEmpty = peer.output.empty();
    std::size_t sent = 0;
    if (peer.state == StreamState::Open && queueWasEmpty) {
        const sockops::Transfer put =
            sockops::sendStream(peer.socket.get(), data, static_cast<std::size_t>(length));
        if (put.count < 0 && !sockops::wouldBlock(put.error)) {
            peer.state = StreamState::Broken;
            return -1;
        }
        sent = put.count < 0 ? 0 : static_cast<std::size_t>(put.count);
    }
    try {
        peer.output.append(data + sent, static_cast<std::size_t>(length) - sent);
    } catch (const std::bad_alloc&) {
        if (sent > 0) {
            // Part of the message is on its way and the rest cannot be kept:
            // what follows on this connection could never be framed again.
            peer.state = StreamState::Broken;
            peer.output.clear();
        }
        return -1;
    }
    if (peer.state == StreamState::Open && !queueWasEmpty) {
        flush(peer);
    }
    return length;
}

void StreamEndpoints::flush(Peer& peer) {
    if (peer.output.empty()) {
        return;
    }
    // One attempt: a send that stops part-way means the socket is full, and
    // the next one would only say so.
    const sockops::Transfer put =
        sockops::sendStream(peer.socket.get(), peer.output.data(), peer.output.size());
    if (put.count >= 0) {
        peer.output.consume(static_cast<std::size_t>(put.count));
    } else if (!sockops::wouldBlock(put.error)) {
        peer.state = StreamState::Broken;
        peer.output.clear();
    }
}

bool StreamEndpoints::watch(const Peer& peer, pollfd& entry) {
    entry = pollfd{-1, 0, 0};
    if (peer.state == StreamState::Gone) {
        // Reported gone: a hang-up the system keeps reporting must not end
        // every wait until the caller closes it.
        return false;
    }
    entry.fd = peer.socket.get();
    if (peer.state == StreamState::Connecting) {
        entry.events = POLLOUT;
        return false;
    }
    // No input is asked for while bytes are still pending: the system keeps
    // the rest until the caller has read those.
    if (peer.unread == 0) {
        entry.events = POLLIN;
    }
    if (!peer.output.empty()) {
        entry.events = static_cast<short>(entry.events | POLLOUT);
    }
    return eventDue(peer);
}

}  // namespace corvane
