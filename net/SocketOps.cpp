#include "net/SocketOps.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvane {

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) {
        sockops::closeFd(fd_);
    }
    fd_ = fd;
}

namespace sockops {

NewSocket openUdpSocket() {
    return openIPv4Socket(SOCK_DGRAM);
}

NewSocket openIPv4Socket(int type) {
    NewSocket result;
    const int fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    result.fd.reset(fd);
    return result;
}

int bindIPv4(int fd, const sockaddr_in& address) {
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return errno;
    }
    return 0;
}

int enablePacketInfo(int fd) {
    const int on = 1;
    if (::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) {
        return errno;
    }
    return 0;
}

std::uint16_t localPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        address.sin_family != AF_INET) {
        return 0;
    }
    return ntohs(address.sin_port);
}

void receiveDatagram(int fd, std::uint8_t* area, std::size_t capacity, Received& out) {
    iovec vector{area, capacity};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &out.source;
    message.msg_namelen = sizeof out.source;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;

    // With MSG_TRUNC the result is the datagram's own length, however much
    // of it fitted the area.
    ssize_t length;
    do {
        length = ::recvmsg(fd, &message, MSG_DONTWAIT | MSG_TRUNC);
    } while (length < 0 && errno == EINTR);
    out.error = length < 0 ? errno : 0;
    out.hasLocalAddress = false;
    if (length < 0) {
        out.length = -1;
        out.wireLength = 0;
        out.truncated = false;
        return;
    }
    out.truncated = static_cast<std::size_t>(length) > capacity;
    out.length = out.truncated ? static_cast<ssize_t>(capacity) : length;
    // A UDP datagram carries at most 65,507 bytes, far inside 32 bits.
    out.wireLength = static_cast<std::int32_t>(length);
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(header), sizeof info);
            // spec_dst is the local address the system itself would answer
            // from; for a unicast query it is the address the client chose.
            out.localAddress = info.ipi_spec_dst;
            out.hasLocalAddress = true;
        }
    }
}

Sent sendDatagram(int fd, const std::uint8_t* data, std::size_t length,
                  const sockaddr_in& destination, const in_addr* from) {
    iovec vector{const_cast<std::uint8_t*>(data), length};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&destination);
    message.msg_namelen = sizeof destination;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    if (from != nullptr) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        // Interface 0 leaves the route to the system; only the source address is fixed.
        info.ipi_spec_dst = *from;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }

    Sent result;
    do {
        result.count = ::sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (result.count < 0 && errno == EINTR);
    result.error = result.count < 0 ? errno : 0;
    return result;
}

bool parseDottedQuad(const char* text, in_addr& out) {
    return ::inet_pton(AF_INET, text, &out) == 1;
}

bool lookupIPv4(const char* name, in_addr& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* answer = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &answer) != 0 || answer == nullptr) {
        return false;
    }
    bool found = false;
    for (const addrinfo* entry = answer; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in address;
            std::memcpy(&address, entry->ai_addr, sizeof address);
            out = address.sin_addr;
            found = true;
            break;
        }
    }
    ::freeaddrinfo(answer);
    return found;
}

void closeFd(int fd) {
    // Not retried on EINTR: on Linux the descriptor is gone either way, and a
    // second close could hit a descriptor another open just received.
    ::close(fd);
}

}  // namespace sockops
}  // namespace corvane
