#include "net/StreamSocketOps.h"

#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <array>
#include <cerrno>
#include <ctime>

namespace corvane::sockops {

NewSocket openTcpListener(const sockaddr_in& address) {
    NewSocket result = openTcpSocket();
    if (!result.fd) {
        return result;
    }
    const int fd = result.fd.get();
    const int on = 1;
    if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        result.error = errno;
        result.fd.reset();
    }
    return result;
}

NewSocket openTcpSocket() {
    return openIPv4Socket(SOCK_STREAM);
}

Accepted acceptConnection(int listenerFd) {
    Accepted result;
    socklen_t length = sizeof result.remote;
    int fd;
    do {
        length = sizeof result.remote;
        fd = ::accept4(listenerFd, reinterpret_cast<sockaddr*>(&result.remote), &length,
                       SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    result.fd.reset(fd);
    socklen_t localLength = sizeof result.local;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&result.local), &localLength) != 0) {
        result.local = sockaddr_in{};
    }
    return result;
}

bool outOfResources(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

std::int64_t monotonicMs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

int setNoDelay(int fd) {
    const int on = 1;
    if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
        return errno;
    }
    return 0;
}

int startConnect(int fd, const sockaddr_in& remote) {
    // An interrupted connect goes on in the background, as EINPROGRESS would;
    // calling it again would only report EALREADY.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
        return 0;
    }
    const int error = errno;
    return error == EINTR ? EINPROGRESS : error;
}

int connectResult(int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        return errno;
    }
    return error;
}

Transfer receiveStream(int fd, std::uint8_t* area, std::size_t capacity) {
    Transfer result;
    do {
        result.count = ::recv(fd, area, capacity, MSG_DONTWAIT);
    } while (result.count < 0 && errno == EINTR);
    result.error = result.count < 0 ? errno : 0;
    return result;
}

Transfer sendStream(int fd, std::span<const std::uint8_t> first,
                    std::span<const std::uint8_t> second) {
    // The system only reads through these; iovec has no const member.
    std::array<iovec, 2> parts{iovec{const_cast<std::uint8_t*>(first.data()), first.size()},
                               iovec{const_cast<std::uint8_t*>(second.data()), second.size()}};
    msghdr message{};
    message.msg_iov = parts.data();
    message.msg_iovlen = second.empty() ? 1 : 2;
    Transfer result;
    do {
        result.count = ::sendmsg(fd, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
    } while (result.count < 0 && errno == EINTR);
    result.error = result.count < 0 ? errno : 0;
    return result;
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

}  // namespace corvane::sockops
