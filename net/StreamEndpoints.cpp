#include "net/StreamEndpoints.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>

#include "net/SocketOps.h"
#include "net/StreamSocketOps.h"

namespace corvane {

namespace {

constexpr std::uint32_t Input = ReadySet::Input;
constexpr std::uint32_t Output = ReadySet::Output;
constexpr std::uint32_t Failed = ReadySet::Failed;
// What the ReadySet reports for a socket with something to read, or gone.
constexpr std::uint32_t ReadyForInput = Input | Failed;

}  // namespace

StreamEndpoints::StreamEndpoints(PeerTable& peers, ReadySet& readySet, std::size_t outputLimit)
    : peers_(peers), readySet_(readySet), outputLimit_(outputLimit) {}

bool StreamEndpoints::eventDue(const Peer& peer) {
    return peer.state == StreamState::Broken ||
           (peer.state == StreamState::Open && peer.unread > 0);
}

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
        const NetEvent event = receive(*peer);
        rewatch(*peer);
        if (event != NetEvent::None) {
            return {event, id};
        }
    }
    return {};
}

bool StreamEndpoints::startRound(Listener& listener) {
    StreamRound& round = listener.round;
    round.ready.clear();
    round.next = 0;
    watchListener(listener);
    // New connections are offered first, so a busy listener still accepts.
    if (restLeftMs(listener) < 0 && (readySet_.reported(listener.readiness) & Input) != 0) {
        round.ready.push_back(0);
    }
    for (const auto& [key, peer] : listener.peers) {
        serveOutput(*peer);
        const std::uint32_t found = readySet_.reported(peer->readiness);
        if (eventDue(*peer) ||
            (peer->state != StreamState::InputEnded && (found & ReadyForInput) != 0)) {
            round.ready.push_back(peer->id);
        }
    }
    return !round.ready.empty();
}

// What a look found for a connection besides input: room for queued output,
// or, for one no longer read, a reset or an error.
void StreamEndpoints::serveOutput(Peer& peer) {
    const std::uint32_t found = readySet_.reported(peer.readiness);
    if (peer.state == StreamState::InputEnded && (found & Failed) != 0) {
        // Not watched for input any more, so only a reset or an error
        // wakes it: the client is gone.
        peer.state = StreamState::Broken;
        peer.output.clear();
    }
    if ((found & Output) != 0 && acceptsOutput(peer.state)) {
        ReadySet::usedUp(peer.readiness, Output);
        flush(peer);
    }
    rewatch(peer);
}

void StreamEndpoints::watchListener(Listener& listener) {
    const bool resting = restLeftMs(listener) > 0;
    if (!resting) {
        listener.acceptRestsUntilMs = 0;
    }
    // A failed change leaves the listener as it was watched: at worst a
    // rest ends a little early, or a wait misses a connection until the
    // next look.
    readySet_.watch(listener.socket.get(), listenerToken(listener.number), resting ? 0 : Input,
                    listener.readiness);
}

StreamEndpoints::Polled StreamEndpoints::accept(Listener& listener) {
    sockops::Accepted accepted = sockops::acceptConnection(listener.socket.get());
    if (!accepted.fd && !sockops::outOfResources(accepted.error)) {
        // Nothing waiting (another round took it), or the client gave up
        // before its turn: this entry has nothing, and neither has the
        // listener until the next look.
        if (sockops::wouldBlock(accepted.error)) {
            // An empty backlog turns no one away: a shortage, if there was
            // one, is over, and the next is a new episode.
            listener.acceptFailing = false;
        }
        ReadySet::usedUp(listener.readiness, Input);
        return {};
    }
    if (accepted.fd) {
        sockops::setNoDelay(accepted.fd.get());
        Peer& peer = peers_.add(&listener, accepted.remote.sin_addr.s_addr,
                                ntohs(accepted.remote.sin_port), NetMode::Stream);
        peer.socket = std::move(accepted.fd);
        peer.state = StreamState::Open;
        peer.hasLocalAddress = accepted.local.sin_family == AF_INET;
        peer.localAddress = accepted.local.sin_addr;
        if (readySet_.watch(peer.socket.get(), peer.id, Input, peer.readiness)) {
            // One descriptor freed does not end a shortage: the connections
            // behind this one may fail again, within the same episode.
            return {NetEvent::Connect, peer.id};
        }
        // A connection that cannot be watched could wait for ever: the
        // system is short of memory for it, as for a descriptor.
        peers_.close(peer.id);
    }
    listener.acceptRestsUntilMs = sockops::monotonicMs() + AcceptRestMs;
    if (listener.acceptFailing) {
        return {};
    }
    listener.acceptFailing = true;
    return {NetEvent::AcceptFailed, 0};
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
    if (peer.state == StreamState::InputEnded ||
        (readySet_.reported(peer.readiness) & ReadyForInput) == 0) {
        return NetEvent::None;
    }
    const sockops::Transfer got =
        sockops::receiveStream(peer.socket.get(), area_.data(), area_.size());
    if (got.count < 0 && sockops::wouldBlock(got.error)) {
        ReadySet::usedUp(peer.readiness, Input);
        return NetEvent::None;
    }
    if (got.count == 0 && peer.owner != nullptr) {
        // A client that shut down its sending side may still wait for the
        // answers to what it sent.
        peer.state = StreamState::InputEnded;
        return NetEvent::EndOfInput;
    }
    if (got.count <= 0) {
        // A reset or other failure, or the upstream's end: the peer is gone.
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
    if (!readySet_.watch(link.socket.get(), link.id, Output, link.readiness)) {
        peers_.close(link.id);
        return 0;
    }
    return link.id;
}

NetEvent StreamEndpoints::pollLink(Peer& link) {
    NetEvent event = NetEvent::None;
    if (link.state == StreamState::Connecting) {
        event = finishConnect(link);
    } else {
        serveOutput(link);
        event = receive(link);
    }
    rewatch(link);
    return event;
}

NetEvent StreamEndpoints::finishConnect(Peer& link) {
    if ((readySet_.reported(link.readiness) & (Output | Failed)) == 0) {
        return NetEvent::None;
    }
    ReadySet::usedUp(link.readiness, Output);
    if (sockops::connectResult(link.socket.get()) != 0) {
        link.state = StreamState::Gone;
        link.output.clear();
        return NetEvent::Disconnect;
    }
    link.state = StreamState::Open;
    flush(link);
    return NetEvent::Connect;
}

std::int32_t StreamEndpoints::send(Peer& peer, std::span<const std::uint8_t> first,
                                   std::span<const std::uint8_t> second) {
    const std::int32_t taken = take(peer, first, second);
    rewatch(peer);
    return taken;
}

std::int32_t StreamEndpoints::take(Peer& peer, std::span<const std::uint8_t> first,
                                   std::span<const std::uint8_t> second) {
    const std::size_t length = first.size() + second.size();
    // The limit is checked on the whole: a first part that fits must not go
    // out when the second does not, or the stream could never be framed again.
    if (!(acceptsOutput(peer.state) || peer.state == StreamState::Connecting) ||
        length > outputLimit_ - std::min(outputLimit_, peer.output.size()) ||
        length > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return -1;
    }
    const bool queueWasEmpty = peer.output.empty();
    std::size_t sent = 0;
    if (acceptsOutput(peer.state) && queueWasEmpty) {
        const sockops::Transfer put = sockops::sendStream(peer.socket.get(), first, second);
        if (put.count < 0 && !sockops::wouldBlock(put.error)) {
            peer.state = StreamState::Broken;
            return -1;
        }
        sent = put.count < 0 ? 0 : static_cast<std::size_t>(put.count);
    }
    const std::size_t sentOfFirst = std::min(sent, first.size());
    try {
        peer.output.append(first.subspan(sentOfFirst), second.subspan(sent - sentOfFirst));
    } catch (const std::bad_alloc&) {
        if (sent > 0) {
            // Part of the message is on its way and the rest cannot be kept:
            // what follows on this connection could never be framed again.
            peer.state = StreamState::Broken;
            peer.output.clear();
        }
        return -1;
    }
    if (acceptsOutput(peer.state) && !queueWasEmpty) {
        flush(peer);
    }
    return static_cast<std::int32_t>(length);
}

void StreamEndpoints::flush(Peer& peer) {
    if (peer.output.empty()) {
        return;
    }
    // One attempt: a send that stops part-way means the socket is full, and
    // the next one would only say so.
    const sockops::Transfer put =
        sockops::sendStream(peer.socket.get(), {peer.output.data(), peer.output.size()});
    if (put.count >= 0) {
        peer.output.consume(static_cast<std::size_t>(put.count));
    } else if (!sockops::wouldBlock(put.error)) {
        peer.state = StreamState::Broken;
        peer.output.clear();
    }
}

void StreamEndpoints::rewatch(Peer& peer) {
    if (peer.state == StreamState::Gone) {
        // Reported gone: a hang-up the system keeps reporting must not end
        // every wait until the caller closes it.
        readySet_.forget(peer.socket.get(), peer.readiness);
        return;
    }
    // Input is watched while the peer may send: also while bytes are still
    // pending, as a wait never begins then anyway. Not after the end of
    // input: a socket at its end of stream is always readable, and would end
    // every wait. A reset or an error is reported without being asked for.
    std::uint32_t events = peer.state == StreamState::Open ? Input : 0;
    if (peer.state == StreamState::Connecting || !peer.output.empty()) {
        events |= Output;
    }
    if (!readySet_.watch(peer.socket.get(), peer.id, events, peer.readiness) &&
        peer.state != StreamState::Broken) {
        // Watched for the wrong events, the connection could wait for ever.
        peer.state = StreamState::Broken;
        peer.output.clear();
    }
}

std::int32_t StreamEndpoints::restLeftMs(const Listener& listener) {
    if (listener.acceptRestsUntilMs == 0) {
        return -1;
    }
    const std::int64_t left = listener.acceptRestsUntilMs - sockops::monotonicMs();
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(left, 0, AcceptRestMs));
}

}  // namespace corvane
