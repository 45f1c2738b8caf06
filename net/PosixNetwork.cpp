#include "net/PosixNetwork.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string>

namespace corvane {

namespace {

// Fixed listener numbers run from 1 to this; AnyNumber handles lie above it,
// so the two never collide. ListenerHandle(-1) stays free: it means "all".
constexpr std::int32_t MaxFixedNumber = 0xFFFF;
constexpr ListenerHandle FirstAnyHandle = MaxFixedNumber + 1;
constexpr ListenerHandle AllListeners = static_cast<ListenerHandle>(-1);

constexpr std::uint32_t ModeMask = ~static_cast<std::uint32_t>(NetMode::IPv6);

// Only IPv4 datagram sockets are built. Mode 0 means Stream, and any other
// value would become a socket type the layer has no rules for (3 is a raw socket).
bool supportedMode(std::uint32_t mode) {
    return (mode & NetMode::IPv6) == 0 && (mode & ModeMask) == NetMode::Datagram;
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

}  // namespace

PosixNetwork::PosixNetwork() : nextHandle_(FirstAnyHandle) {}

PosixNetwork::~PosixNetwork() = default;

int PosixNetwork::netStartup() {
    // Linux sockets need no library start: the layer only becomes usable.
    started_ = true;
    return 1;
}

void PosixNetwork::netShutdown() {
    listenerClose(AllListeners);
    started_ = false;
}

ListenerHandle PosixNetwork::listenerOpen(std::int32_t number, std::int64_t port,
                                          std::uint32_t mode, std::string_view localAddress) {
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
        if (!validPort(port) || !supportedMode(mode)) {
            return 0;
        }
        in_addr address{};
        if (!readLocalAddress(localAddress, address)) {
            return 0;
        }
        sockops::NewSocket created = sockops::openUdpSocket();
        if (!created.fd) {
            return 0;
        }
        const sockaddr_in bound = ipv4Address(address, static_cast<std::uint16_t>(port));
        // No socket option before the bind: a port another socket holds must
        // make the open fail rather than be shared.
        if (sockops::bindIPv4(created.fd.get(), bound) != 0 ||
            sockops::enablePacketInfo(created.fd.get()) != 0) {
            return 0;
        }
        const ListenerHandle handle =
            number == AnyNumber ? nextFreeHandle() : static_cast<ListenerHandle>(number);
        auto listener = std::make_unique<Listener>();
        listener->socket = std::move(created.fd);
        listener->boundAddress = bound;
        listener->mode = NetMode::Datagram;
        listener->number = handle;
        listeners_.emplace(handle, std::move(listener));
        return handle;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

bool PosixNetwork::receive(int fd) {
    sockops::receiveDatagram(fd, receiveArea_.data(), receiveArea_.size(), received_);
    // Failures of every kind (nothing waiting, an error report left by an ICMP
    // message for an earlier send, a datagram too long for the area, an empty
    // one) all end the same way: this poll has nothing, the next one tries again.
    return received_.length > 0 && !received_.truncated && received_.source.sin_family == AF_INET;
}

NetEvent PosixNetwork::listenerPoll(ListenerHandle handle) {
    Listener* listener = findListener(handle);
    if (listener == nullptr || !receive(listener->socket.get())) {
        return NetEvent::None;
    }
    const auto length = static_cast<std::size_t>(received_.length);
    const std::uint32_t address = received_.source.sin_addr.s_addr;
    const std::uint16_t port = ntohs(received_.source.sin_port);

    Peer* peer = nullptr;
    bool created = false;
    try {
        const auto known = listener->peers.find(endpointKey(address, port));
        if (known != listener->peers.end()) {
            peer = known->second;
        } else {
            peer = &peers_.add(listener, address, port);
            created = true;
        }
        // unread is a signed 32-bit count; a client whose datagrams are never
        // read must not overflow it.
        if (static_cast<std::size_t>(peer->unread) + length >
            static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return NetEvent::None;
        }
        if (peer->unread == 0) {
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
            peers_.closeAll(*listener);
        }
        listeners_.clear();
        return;
    }
    const auto found = listeners_.find(handle);
    if (found == listeners_.end()) {
        return;
    }
    peers_.closeAll(*found->second);
    listeners_.erase(found);
}

ConnectionId PosixNetwork::linkOpen(std::string_view host, std::int64_t port, std::uint32_t mode,
                                    std::int32_t /*timeoutMs: Stream mode only*/,
                                    std::string_view localAddress, std::int32_t localPort) {
    if (!started_ || host.empty() || host.find('\0') != std::string_view::npos ||
        !validPort(port) || !supportedMode(mode) || !validPort(localPort)) {
        return 0;
    }
    try {
        in_addr local{};
        if (!readLocalAddress(localAddress, local)) {
            return 0;
        }
        const std::string text(host);
        in_addr remote{};
        if (!sockops::parseDottedQuad(text.c_str(), remote) &&
            !sockops::lookupIPv4(text.c_str(), remote)) {
            return 0;
        }
        if (remote.s_addr == htonl(INADDR_BROADCAST)) {
            return 0;
        }
        sockops::NewSocket created = sockops::openUdpSocket();
        if (!created.fd) {
            return 0;
        }
        // Left unbound unless asked: the system picks the local port at the
        // first send, and nothing reaches the resolver before then.
        if ((localPort != 0 || !localAddress.empty()) &&
            sockops::bindIPv4(created.fd.get(),
                              ipv4Address(local, static_cast<std::uint16_t>(localPort))) != 0) {
            return 0;
        }
        Peer& link = peers_.add(nullptr, remote.s_addr, static_cast<std::uint16_t>(port));
        link.socket = std::move(created.fd);
        return link.id;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

NetEvent PosixNetwork::linkPoll(ConnectionId id) {
    Peer* found = peers_.find(id);
    if (found == nullptr || found->owner != nullptr) {
        return NetEvent::None;
    }
    Peer& link = *found;
    if (!receive(link.socket.get())) {
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
    // earlier answer are replaced.
    try {
        link.pending.assign(receiveArea_.begin(), receiveArea_.begin() + length);
    } catch (const std::bad_alloc&) {
        link.pending.clear();
        link.unread = 0;
        link.readPosition = 0;
        return NetEvent::None;
    }
    link.unread = static_cast<std::int32_t>(length);
    link.readPosition = 0;
    return NetEvent::Data;
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
        peer->pending.clear();
        peer->readPosition = 0;
    }
    return count;
}

std::int32_t PosixNetwork::connSend(ConnectionId id, const std::uint8_t* data,
                                    std::int32_t length) {
    const Peer* peer = peers_.find(id);
    if (peer == nullptr || length < 0 || (data == nullptr && length > 0)) {
        return -1;
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

void PosixNetwork::connClose(ConnectionId id) {
    peers_.close(id);
}

void PosixNetwork::waitReadable(ListenerHandle listener, ConnectionId link,
                                std::int32_t timeoutMs) {
    std::array<pollfd, 2> fds{};
    nfds_t count = 0;
    if (const Listener* open = findListener(listener); open != nullptr) {
        fds[count++] = pollfd{open->socket.get(), POLLIN, 0};
    }
    if (const Peer* open = peers_.findLink(link); open != nullptr) {
        fds[count++] = pollfd{open->socket.get(), POLLIN, 0};
    }
    // A negative time-out would mean "for ever" to poll; a pause must end.
    sockops::waitForReadable(fds.data(), count, std::max(timeoutMs, std::int32_t{0}));
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
