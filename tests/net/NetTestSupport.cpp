#include "NetTestSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace corvane::test {

namespace {

sockaddr_in addressOf(const char* text, std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, text, &address.sin_addr);
    return address;
}

constexpr int PollRounds = 40;
constexpr int RoundMs = 100;

}  // namespace

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes pattern(std::size_t length, std::uint8_t seed) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}

UdpProbe::UdpProbe(const char* address, std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in local = addressOf(address, port);
    bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

UdpProbe::~UdpProbe() {
    close();
}

void UdpProbe::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

std::uint16_t UdpProbe::port() const {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

bool UdpProbe::sendTo(const char* address, std::uint16_t port, const Bytes& data) const {
    const sockaddr_in remote = addressOf(address, port);
    const ssize_t sent = ::sendto(fd_, data.data(), data.size(), 0,
                                  reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
    return sent == static_cast<ssize_t>(data.size());
}

std::optional<ProbeDatagram> UdpProbe::receive(int timeoutMs) const {
    pollfd wanted{fd_, POLLIN, 0};
    if (::poll(&wanted, 1, timeoutMs) != 1) {
        return std::nullopt;
    }
    ProbeDatagram datagram;
    datagram.bytes.resize(65536);
    sockaddr_in source{};
    socklen_t length = sizeof source;
    const ssize_t count = ::recvfrom(fd_, datagram.bytes.data(), datagram.bytes.size(),
                                     MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&source), &length);
    if (count < 0) {
        return std::nullopt;
    }
    datagram.bytes.resize(static_cast<std::size_t>(count));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &source.sin_addr, text, sizeof text);
    datagram.address = text;
    datagram.port = ntohs(source.sin_port);
    return datagram;
}

TcpProbe TcpProbe::connectTo(std::uint16_t port, int receiveBuffer) {
    TcpProbe probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int fd = probe.fd_.get();
    if (receiveBuffer > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const sockaddr_in remote = addressOf("127.0.0.1", port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        probe.close();
    }
    return probe;
}

bool TcpProbe::send(const Bytes& data) const {
    return ::send(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(data.size());
}

void TcpProbe::shutdownSending() const {
    ::shutdown(fd_.get(), SHUT_WR);
}

Bytes TcpProbe::receive(std::size_t count, int timeoutMs) const {
    Bytes got;
    std::uint8_t chunk[4096];
    while (got.size() < count) {
        pollfd wanted{fd_.get(), POLLIN, 0};
        if (::poll(&wanted, 1, timeoutMs) != 1) {
            break;
        }
        const ssize_t n = ::recv(fd_.get(), chunk, std::min(sizeof chunk, count - got.size()), 0);
        if (n <= 0) {
            break;
        }
        got.insert(got.end(), chunk, chunk + n);
    }
    return got;
}

TcpServer::TcpServer() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    const sockaddr_in local = addressOf("127.0.0.1", 0);
    if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::listen(fd_.get(), 8) != 0) {
        fd_.reset();
    }
}

std::uint16_t TcpServer::port() const {
    return sockops::localPort(fd_.get());
}

TcpProbe TcpServer::accept(int timeoutMs) const {
    pollfd wanted{fd_.get(), POLLIN, 0};
    if (::poll(&wanted, 1, timeoutMs) != 1) {
        return TcpProbe();
    }
    return TcpProbe(::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

namespace {

// Polls until wanted(event), waiting for readiness between polls, for a
// bounded number of rounds; None when no such event came.
template <typename Poll, typename Wanted>
NetEvent pollUntil(PosixNetwork& net, Poll poll, Wanted wanted) {
    for (int round = 0; round < PollRounds; ++round) {
        if (const NetEvent event = poll(); wanted(event)) {
            return event;
        }
        net.waitReady(RoundMs);
    }
    return NetEvent::None;
}

bool anyEvent(NetEvent event) {
    return event != NetEvent::None;
}

bool dataEvent(NetEvent event) {
    return event == NetEvent::Data;
}

}  // namespace

NetEvent nextListenerEvent(PosixNetwork& net, ListenerHandle listener) {
    return pollUntil(
        net, [&] { return net.listenerPoll(listener); }, anyEvent);
}

NetEvent nextLinkEvent(PosixNetwork& net, ConnectionId link) {
    return pollUntil(
        net, [&] { return net.linkPoll(link); }, anyEvent);
}

NetEvent pollListenerForData(PosixNetwork& net, ListenerHandle listener) {
    return pollUntil(
        net, [&] { return net.listenerPoll(listener); }, dataEvent);
}

NetEvent pollLinkForData(PosixNetwork& net, ConnectionId link) {
    return pollUntil(
        net, [&] { return net.linkPoll(link); }, dataEvent);
}

Bytes readAll(PosixNetwork& net, ConnectionId id, std::int32_t capacity) {
    Bytes all;
    Bytes buffer(static_cast<std::size_t>(capacity));
    for (;;) {
        const std::int32_t count = net.connRecv(id, buffer.data(), capacity);
        if (count <= 0) {
            return all;
        }
        all.insert(all.end(), buffer.begin(), buffer.begin() + count);
    }
}

namespace {

// The descriptors open in this process, not counting the one the walk uses.
std::vector<int> openDescriptors() {
    std::vector<int> open;
    if (DIR* directory = ::opendir("/proc/self/fd"); directory != nullptr) {
        const int own = ::dirfd(directory);
        while (const dirent* entry = ::readdir(directory)) {
            if (const int fd = std::atoi(entry->d_name); entry->d_name[0] != '.' && fd != own) {
                open.push_back(fd);
            }
        }
        ::closedir(directory);
    }
    return open;
}

}  // namespace

std::size_t openDescriptorCount() {
    return openDescriptors().size();
}

DescriptorShortage::DescriptorShortage() {
    if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) {
        return;
    }
    const std::vector<int> open = openDescriptors();
    if (open.empty()) {
        return;
    }
    rlimit lowered = saved_;
    lowered.rlim_cur = static_cast<rlim_t>(*std::max_element(open.begin(), open.end()) + 8);
    if (lowered.rlim_cur > saved_.rlim_cur || ::setrlimit(RLIMIT_NOFILE, &lowered) != 0) {
        return;
    }
    lowered_ = true;
    // At most the limit's worth: every one below it is then in use.
    for (rlim_t i = 0; i < lowered.rlim_cur; ++i) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            inEffect_ = errno == EMFILE;
            return;
        }
        taken_.emplace_back(fd);
    }
}

void DescriptorShortage::release() {
    taken_.clear();
    if (lowered_) {
        ::setrlimit(RLIMIT_NOFILE, &saved_);
        lowered_ = false;
    }
    inEffect_ = false;
}

bool inPrivateNetwork(const std::function<void()>& setUp) {
    bool made = false;
    std::thread worker([&] {
        // Namespaces belong to the thread: the rest of the test process stays
        // in the machine's namespace.
        if (::unshare(CLONE_NEWNET) != 0) {
            return;
        }
        const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq request{};
        std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
        const bool up =
            control >= 0 && ::ioctl(control, SIOCGIFFLAGS, &request) == 0 &&
            (request.ifr_flags |= IFF_UP, ::ioctl(control, SIOCSIFFLAGS, &request) == 0);
        if (control >= 0) {
            ::close(control);
        }
        if (up) {
            made = true;
            setUp();
        }
    });
    worker.join();
    return made;
}

}  // namespace corvane::test
