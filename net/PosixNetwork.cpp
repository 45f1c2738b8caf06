#include "net/PosixNetwork.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "net/StreamSocketOps.h"

namespace corvane {

namespace {

// Fixed listener numbers run from 1 to this; AnyNumber handles lie above it,
// so the two never collide. ListenerHandle(-1) stays free: it means "all".
constexpr std::int32_t MaxFixedNumber = 0xFFFF;
constexpr ListenerHandle FirstAnyHandle = MaxFixedNumber + 1;
constexpr ListenerHandle AllListeners = static_cast<ListenerHandle>(-1);

constexpr std::uint32_t ModeMask = ~static_cast<std::uint32_t>(NetMode::IPv6);

// The kind of socket a mode asks for: Stream (mode 0 means the same) or
// Datagram; 0 for what the layer does not build: the IPv6 family, and any
// other value, which would become a socket type the layer has no rules for
// (3 is a raw socket).
std::uint32_t socketKind(std::uint32_t mode) {
    if ((mode & NetMode::IPv6) != 0) {
        return 0;
    }
    switch (mode & ModeMask) {
        case 0:
        case NetMode::Stream:
            return NetMode::Stream;
        case NetMode::Datagram:
            return NetMode::Datagram;
        default:
            return 0;
    }
}

bool validPort(std::int64_t port) {
    return port >= 0 && port <= 0xFFFF;
}

// Reads an optional local address: empty means every local address.
bool readLocalAddress(std::string_view text, in_addr& out) {
    if (text.empty()) {
        out.s_addr = htonl(INADDR_ANY);
        return true;
    }
    if (text.find('\0') != std::string_view::npos) {
        return false;
    }
    return sockops::parseDottedQuad(std::string(text).c_str(), out);
}

sockaddr_in ipv4Address(in_addr address, std::uint16_t port) {
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    result.sin_addr = address;
    return result;
}

// The socket, or none and the system's error.
sockops::NewSocket openListenerSocket(std::uint32_t kind, const sockaddr_in& bound) {
    if (kind == NetMode::Stream) {
        return sockops::openTcpListener(bound);
    }
    sockops::NewSocket created = sockops::openUdpSocket();
    if (!created.fd) {
        return created;
    }
    // No socket option before the bind: a port another socket holds must
    // make the open fail rather than be shared.
    created.error = sockops::bindIPv4(created.fd.get(), bound);
    if (created.error == 0) {
        created.error = sockops::enablePacketInfo(created.fd.get());
    }
    if (created.error != 0) {
        created.fd.reset();
    }
    return created;
}

// The remote address of a link: a dotted quad as it is, else the first IPv4
// address the host lookup gives. The broadcast address is no resolver.
bool readRemoteAddress(std::string_view host, in_addr& out) {
    const std::string text(host);
    if (!sockops::parseDottedQuad(text.c_str(), out) && !sockops::lookupIPv4(text.c_str(), out)) {
        return false;
    }
    return out.s_addr != htonl(INADDR_BROADCAST);
}

}  // namespace

PosixNetwork::PosixNetwork(std::size_t streamOutputLimit)
    : streams_(peers_, readySet_, streamOutputLimit), nextHandle_(FirstAnyHandle) {}

PosixNetwork::~PosixNetwork() = default;

int PosixNetwork::netStartup() {
    // Linux sockets need no library start; the one thing the layer cannot
    // do without is its set of watched sockets.
    started_ = readySet_.open();
    return started_ ? 1 : 0;
}

void PosixNetwork::netShutdown() {
    listenerClose(AllListeners);
    started_ = false;
}

ListenerHandle PosixNetwork::listenerOpen(std::int32_t number, std::int64_t port,
                                          std::uint32_t mode, std::string_view localAddress) {
    listenerError_ = 0;
    if (!started_) {
        return 0;
    }
    if (number != AnyNumber && (number < 1 || number > MaxFixedNumber)) {
        return 0;
    }
    try {
        if (number != AnyNumber) {
            // A fixed number names one listener: opening it again replaces the old one.
            listenerClose(static_cast<ListenerHandle>(number));
        }
        // Negative ports are refused too: the conversion to 16 bits would
        // quietly bind some other port.
        const std::uint32_t kind = socketKind(mode);
        in_addr address{};
        if (!validPort(port) || kind == 0 || !readLocalAddress(localAddress, address)) {
            return 0;
        }
        const sockaddr_in bound = ipv4Address(address, static_cast<std::uint16_t>(port));
        sockops::NewSocket made = openListenerSocket(kind, bound);
        listenerError_ = made.error;
        if (!made.fd) {
            return 0;
        }
        UniqueFd socket = std::move(made.fd);
        const ListenerHandle handle =
            number == AnyNumber ? nextFreeHandle() : static_cast<ListenerHandle>(number);
        auto listener = std::make_unique<Listener>();
        listener->socket = std::move(socket);
        listener->boundAddress = bound;
        listener->localPort = sockops::localPort(listener->socket.get());
        listener->mode = static_cast<std::uint16_t>(kind);
        listener->number = handle;
        Listener& opened = *listeners_.emplace(handle, std::move(listener)).first->second;
        if (!readySet_.watch(opened.socket.get(), listenerToken(handle), ReadySet::Input,
                             opened.readiness)) {
            listeners_.erase(handle);
            return 0;
        }
        return handle;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// Whether the last look found the socket readable; when it did not, and the
// look may be out of date, after a new one.
bool PosixNetwork::readable(Readiness& readiness) {
    constexpr std::uint32_t Readable = ReadySet::Input | ReadySet::Failed;
    if ((readySet_.reported(readiness) & Readable) != 0) {
        return true;
    }
    return lookAgainIfStale() && (readySet_.reported(readiness) & Readable) != 0;
}

bool PosixNetwork::receive(int fd, Readiness& readiness) {
    sockops::receiveDatagram(fd, receiveArea_.data(), receiveArea_.size(), received_);
    if (received_.length < 0 && sockops::wouldBlock(received_.error)) {
        // Read empty: not read again until a look finds more.
        ReadySet::usedUp(readiness, ReadySet::Input | ReadySet::Failed);
    }
    // Failures of every kind (nothing waiting, an error report left by an ICMP
    // message for an earlier send, an empty datagram) all end the same way:
    // this poll has nothing, the next one tries again.
    return received_.length > 0 && received_.source.sin_family == AF_INET;
}

NetEvent PosixNetwork::listenerPoll(ListenerHandle handle) {
    Listener* listener = findListener(handle);
    if (listener == nullptr) {
        return NetEvent::None;
    }
    lookIfWaitedElsewhere();
    if (listener->mode == NetMode::Datagram) {
        return pollDatagramListener(*listener);
    }
    try {
        StreamEndpoints::Polled polled = streams_.pollListener(*listener);
        if (polled.event == NetEvent::None && lookAgainIfStale()) {
            polled = streams_.pollListener(*listener);
        }
        if (polled.event != NetEvent::None) {
            lastEventPeer_ = polled.peer;
        }
        return polled.event;
    } catch (const std::bad_alloc&) {
        return NetEvent::None;
    }
}

NetEvent PosixNetwork::pollDatagramListener(Listener& listener) {
    // A query too long for the receive area is lost, as it always was.
    if (!readable(listener.readiness) || !receive(listener.socket.get(), listener.readiness) ||
        received_.truncated) {
        return NetEvent::None;
    }
    const auto length = static_cast<std::size_t>(received_.length);
    const std::uint32_t address = received_.source.sin_addr.s_addr;
    const std::uint16_t port = ntohs(received_.source.sin_port);

    Peer* peer = nullptr;
    bool created = false;
    try {
        const auto known = listener.peers.find(endpointKey(address, port));
        if (known != listener.peers.end()) {
            peer = known->second;
        } else {
            peer = &peers_.add(&listener, address, port);
            created = true;
        }
        // unread is a signed 32-bit count; a client whose datagrams are never
        // read must not overflow it.
        if (static_cast<std::size_t>(peer->unread) + length >
            static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return NetEvent::None;
        }
        if (peer->unread == 0) {
            peers_.lendBuffer(*peer);
            peer->pending.assign(receiveArea_.begin(), receiveArea_.begin() + length);
            peer->readPosition = 0;
        } else {
            // Appended after the bytes still unread; the part already read goes first.
            peer->pending.erase(
                peer->pending.begin(),
                peer->pending.begin() + static_cast<std::ptrdiff_t>(peer->readPosition));
            peer->readPosition = 0;
            peer->pending.insert(peer->pending.end(), receiveArea_.begin(),
                                 receiveArea_.begin() + length);
        }
    } catch (const std::bad_alloc&) {
        // No memory for the record or its bytes: the datagram is dropped, and a
        // peer made just for it goes too.
        if (created && peer != nullptr) {
            peers_.close(peer->id);
        }
        return NetEvent::None;
    }
    peer->unread += static_cast<std::int32_t>(length);
    peer->hasLocalAddress = received_.hasLocalAddress;
    peer->localAddress = received_.localAddress;
    lastEventPeer_ = peer->id;
    return NetEvent::Data;
}

ConnectionId PosixNetwork::listenerLastPeer() const {
    return lastEventPeer_;
}

void PosixNetwork::listenerClose(ListenerHandle handle) {
    if (handle == AllListeners) {
        for (auto& [number, listener] : listeners_) {
            forgetStreamPeers(*listener);
            peers_.closeAll(*listener);
        }
        listeners_.clear();
        return;
    }
    const auto found = listeners_.find(handle);
    if (found == listeners_.end()) {
        return;
    }
    forgetStreamPeers(*found->second);
    peers_.closeAll(*found->second);
    listeners_.erase(found);
}

void PosixNetwork::forgetStreamPeers(Listener& listener) {
    for (auto& [key, peer] : listener.peers) {
        readySet_.forget(peer->socket.get(), peer->readiness);
    }
    readySet_.forget(listener.socket.get(), listener.readiness);
}

ConnectionId PosixNetwork::linkOpen(std::string_view host, std::int64_t port, std::uint32_t mode,
                                    std::int32_t /*timeoutMs: see Network.h*/,
                                    std::string_view localAddress, std::int32_t localPort) {
    const std::uint32_t kind = socketKind(mode);
    if (!started_ || host.empty() || host.find('\0') != std::string_view::npos ||
        !validPort(port) || kind == 0 || !validPort(localPort)) {
        return 0;
    }
    try {
        in_addr local{};
        in_addr remote{};
        if (!readLocalAddress(localAddress, local) || !readRemoteAddress(host, remote)) {
            return 0;
        }
        // Left unbound unless asked: the system picks the local port at the
        // first send (or the connect), and nothing reaches the resolver before.
        const sockaddr_in localBound = ipv4Address(local, static_cast<std::uint16_t>(localPort));
        const bool bindFirst = localPort != 0 || !localAddress.empty();
        if (kind == NetMode::Stream) {
            return streams_.openLink(ipv4Address(remote, static_cast<std::uint16_t>(port)),
                                     bindFirst ? &localBound : nullptr);
        }
        sockops::NewSocket created = sockops::openUdpSocket();
        if (!created.fd || (bindFirst && sockops::bindIPv4(created.fd.get(), localBound) != 0)) {
            return 0;
        }
        Peer& link = peers_.add(nullptr, remote.s_addr, static_cast<std::uint16_t>(port));
        link.socket = std::move(created.fd);
        if (!readySet_.watch(link.socket.get(), link.id, ReadySet::Input, link.readiness)) {
            peers_.close(link.id);
            return 0;
        }
        return link.id;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

NetEvent PosixNetwork::linkPoll(ConnectionId id) {
    Peer* link = peers_.find(id);
    if (link == nullptr || link->owner != nullptr) {
        return NetEvent::None;
    }
    lookIfWaitedElsewhere();
    if (link->kind != NetMode::Stream) {
        return pollDatagramLink(*link);
    }
    NetEvent event = streams_.pollLink(*link);
    if (event == NetEvent::None && lookAgainIfStale()) {
        event = streams_.pollLink(*link);
    }
    return event;
}

NetEvent PosixNetwork::pollDatagramLink(Peer& link) {
    if (!readable(link.readiness) || !receive(link.socket.get(), link.readiness)) {
        return NetEvent::None;
    }
    // Only the resolver may answer. A datagram from any other address or port
    // is somebody guessing our transaction numbers: it is dropped, and the
    // answer that may be pending stays untouched.
    if (received_.source.sin_addr.s_addr != link.remoteAddress ||
        ntohs(received_.source.sin_port) != link.remotePort) {
        return NetEvent::None;
    }
    const auto length = static_cast<std::size_t>(received_.length);
    // Unlike a client peer, the link holds one datagram: unread bytes of an
    // earlier answer are replaced. An answer longer than the area keeps its
    // first bytes, so the client can at least be told to ask again over TCP.
    try {
        peers_.lendBuffer(link);
        link.pending.assign(receiveArea_.begin(), receiveArea_.begin() + length);
    } catch (const std::bad_alloc&) {
        link.pending.clear();
        link.unread = 0;
        link.readPosition = 0;
        return NetEvent::None;
    }
    link.unread = static_cast<std::int32_t>(length);
    link.readPosition = 0;
    link.wireLength = received_.wireLength;
    return NetEvent::Data;
}

std::int32_t PosixNetwork::linkLastLength(ConnectionId id) const {
    const Peer* link = peers_.findLink(id);
    return link == nullptr ? 0 : link->wireLength;
}

std::int32_t PosixNetwork::connRecv(ConnectionId id, std::uint8_t* buffer, std::int32_t capacity) {
    Peer* peer = peers_.find(id);
    if (peer == nullptr || peer->unread == 0 || buffer == nullptr || capacity <= 0) {
        return 0;
    }
    const std::int32_t count = std::min(capacity, peer->unread);
    std::memcpy(buffer, peer->pending.data() + peer->readPosition, static_cast<std::size_t>(count));
    peer->readPosition += static_cast<std::size_t>(count);
    peer->unread -= count;
    if (peer->unread == 0) {
        peer->readPosition = 0;
        if (peer->kind == NetMode::Datagram) {
            peers_.takeBackBuffer(*peer);
        } else {
            peer->pending.clear();
        }
    }
    return count;
}

std::int32_t PosixNetwork::connSend(ConnectionId id, const std::uint8_t* data,
                                    std::int32_t length) {
    Peer* peer = peers_.find(id);
    if (peer == nullptr || length < 0 || (data == nullptr && length > 0)) {
        return -1;
    }
    if (peer->kind == NetMode::Stream) {
        return streams_.send(*peer, {data, static_cast<std::size_t>(length)});
    }
    in_addr remote{};
    remote.s_addr = peer->remoteAddress;
    const sockaddr_in destination =
        ipv4Address(remote, static_cast<std::uint16_t>(peer->remotePort));
    // A client peer is answered from the listener's socket (so from its port)
    // and from the local address the client wrote to.
    const int fd = peer->owner != nullptr ? peer->owner->socket.get() : peer->socket.get();
    const in_addr* from =
        peer->owner != nullptr && peer->hasLocalAddress ? &peer->localAddress : nullptr;
    const sockops::Sent sent =
        sockops::sendDatagram(fd, data, static_cast<std::size_t>(length), destination, from);
    return sent.count < 0 ? -1 : static_cast<std::int32_t>(sent.count);
}

std::int32_t PosixNetwork::connSendParts(ConnectionId id, std::span<const std::uint8_t> first,
                                         std::span<const std::uint8_t> second) {
    Peer* peer = peers_.find(id);
    if (peer == nullptr || peer->kind != NetMode::Stream) {
        return -1;
    }
    return streams_.send(*peer, first, second);
}

std::uint32_t PosixNetwork::connRemoteHost(ConnectionId id) const {
    const Peer* peer = peers_.find(id);
    if (peer == nullptr || peer->owner == nullptr || peer->kind != NetMode::Stream) {
        return 0;
    }
    const bool loopback = (ntohl(peer->remoteAddress) >> 24) == IN_LOOPBACKNET;
    const bool ownAddress =
        peer->hasLocalAddress && peer->localAddress.s_addr == peer->remoteAddress;
    return loopback || ownAddress ? 0 : peer->remoteAddress;
}

bool PosixNetwork::connEnds(ConnectionId id, PeerEnds& out) const {
    const Peer* peer = peers_.find(id);
    if (peer == nullptr || peer->owner == nullptr) {
        return false;
    }
    out.remoteAddress = peer->remoteAddress;
    out.remotePort = static_cast<std::uint16_t>(peer->remotePort);
    out.localAddress = peer->hasLocalAddress ? peer->localAddress.s_addr : 0;
    out.localPort = peer->owner->localPort;
    return true;
}

std::int32_t PosixNetwork::connPendingOutput(ConnectionId id) const {
    const Peer* peer = peers_.find(id);
    // The queue never passes the output limit, which a caller keeps far below 2 GiB.
    return peer == nullptr ? 0
                           : static_cast<std::int32_t>(std::min<std::size_t>(
                                 peer->output.size(), std::numeric_limits<std::int32_t>::max()));
}

void PosixNetwork::connClose(ConnectionId id) {
    if (const Peer* peer = peers_.find(id);
        peer != nullptr && peer->kind == NetMode::Stream && peer->owner != nullptr) {
        // Its descriptor is about to be free: a connection that could not be
        // accepted for want of one may be taken now.
        StreamEndpoints::endRest(*peer->owner);
    }
    if (Peer* peer = peers_.find(id); peer != nullptr) {
        readySet_.forget(peer->socket.get(), peer->readiness);
    }
    peers_.close(id);
}

void PosixNetwork::waitReady(std::int32_t timeoutMs) {
    const Due due = dueNow();
    // A negative time-out would mean "for ever"; a pause must end.
    std::int32_t pause = due.eventDue ? 0 : std::max(timeoutMs, std::int32_t{0});
    if (due.wakeWithinMs >= 0) {
        pause = std::min(pause, due.wakeWithinMs);
    }
    lookNow(pause);
}

IdleWait PosixNetwork::prepareIdleWait() {
    const Due due = dueNow();
    if (due.eventDue) {
        return {true, -1};
    }
    // No look first: the set is level-triggered, so a wait on its
    // descriptor ends at once for a socket that is ready already, and one
    // look less per pause is what a pause at a desktop's pace saves. The
    // polls after the wait cannot tell what ended it: the first looks again.
    waitedElsewhere_ = true;
    return {false, readySet_.descriptor(), due.wakeWithinMs};
}

void PosixNetwork::lookNow(int timeoutMs) {
    waitedElsewhere_ = false;
    dryPolls_ = 0;
    for (const ReadySet::Found& found : readySet_.look(timeoutMs)) {
        Readiness* readiness = nullptr;
        if ((found.token >> 32) != 0) {
            Listener* listener = findListener(static_cast<ListenerHandle>(found.token));
            readiness = listener == nullptr ? nullptr : &listener->readiness;
        } else {
            Peer* peer = peers_.find(static_cast<ConnectionId>(found.token));
            readiness = peer == nullptr ? nullptr : &peer->readiness;
        }
        if (readiness != nullptr) {
            readySet_.record(*readiness, found.events);
        }
    }
}

// What the last look found is out of date once a wait elsewhere ended: a
// socket it found readable may have been read empty since, and another may
// be what ended the wait. So the first poll after it looks again.
void PosixNetwork::lookIfWaitedElsewhere() {
    if (waitedElsewhere_) {
        lookNow(0);
    }
}

bool PosixNetwork::lookAgainIfStale() {
    if (++dryPolls_ < StaleAfterDryPolls) {
        return false;
    }
    lookNow(0);
    return true;
}

PosixNetwork::Due PosixNetwork::dueNow() {
    Due due;
    for (const auto& [handle, listener] : listeners_) {
        if (listener->mode != NetMode::Stream) {
            continue;
        }
        // A resting listener is not watched (its waiting connection would
        // end every wait); the wait ends when the rest does instead.
        streams_.watchListener(*listener);
        if (const std::int32_t rest = StreamEndpoints::restLeftMs(*listener); rest >= 0) {
            due.wakeWithinMs = due.wakeWithinMs < 0 ? rest : std::min(due.wakeWithinMs, rest);
        }
        // Sockets found ready in this round and not yet served.
        due.eventDue = due.eventDue || !listener->round.usedUp();
        for (const auto& [key, peer] : listener->peers) {
            due.eventDue = due.eventDue || StreamEndpoints::eventDue(*peer);
        }
    }
    for (const Peer* link : peers_.links()) {
        due.eventDue =
            due.eventDue || (link->kind == NetMode::Stream && StreamEndpoints::eventDue(*link));
    }
    return due;
}

std::uint16_t PosixNetwork::listenerPort(ListenerHandle handle) const {
    const Listener* listener = findListener(handle);
    return listener == nullptr ? 0 : sockops::localPort(listener->socket.get());
}

std::uint16_t PosixNetwork::linkLocalPort(ConnectionId id) const {
    const Peer* link = peers_.findLink(id);
    return link == nullptr ? 0 : sockops::localPort(link->socket.get());
}

Listener* PosixNetwork::findListener(ListenerHandle handle) const {
    const auto found = listeners_.find(handle);
    return found == listeners_.end() ? nullptr : found->second.get();
}

ListenerHandle PosixNetwork::nextFreeHandle() {
    for (;;) {
        const ListenerHandle handle = nextHandle_;
        nextHandle_ = nextHandle_ + 1 >= AllListeners ? FirstAnyHandle : nextHandle_ + 1;
        if (!listeners_.contains(handle)) {
            return handle;
        }
    }
}

}  // namespace corvane
