#include "StreamResponder.h"

#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "ResponderAnswer.h"

namespace {

constexpr std::size_t MaxConnections = 256;
constexpr std::size_t MessageRoom = 2 + 65535 + AnswerRecord.size();

struct Connection {
    int fd;
    std::vector<std::uint8_t> held;
};

// Answers every whole message held; false when the connection is to go.
bool answerHeld(Connection& c) {
    std::size_t start = 0;
    std::vector<std::uint8_t> out;
    while (c.held.size() - start >= 2) {
        const std::size_t length = (std::size_t{c.held[start]} << 8) | c.held[start + 1];
        if (c.held.size() - start - 2 < length) {
            break;
        }
        std::vector<std::uint8_t> message(c.held.begin() + static_cast<long>(start + 2),
                                          c.held.begin() + static_cast<long>(start + 2 + length));
        message.resize(length + AnswerRecord.size());
        const std::size_t answer = makeAnswer(message.data(), length, message.size());
        if (answer != 0) {
            out.push_back(static_cast<std::uint8_t>(answer >> 8));
            out.push_back(static_cast<std::uint8_t>(answer & 0xFF));
            out.insert(out.end(), message.begin(), message.begin() + static_cast<long>(answer));
        }
        start += 2 + length;
    }
    c.held.erase(c.held.begin(), c.held.begin() + static_cast<long>(start));
    // Blocking writes: the forwarder under test reads what it is sent.
    std::size_t sent = 0;
    while (sent < out.size()) {
        const ssize_t n = send(c.fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return c.held.size() < MessageRoom;
}

int openListener(const sockaddr_in& address) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd, 128) != 0) {
        std::perror("tcp socket/bind/listen");
        return -1;
    }
    return fd;
}

void acceptOne(int listener, std::vector<Connection>& connections) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (connections.size() >= MaxConnections) {
        close(fd);
        return;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connections.push_back({fd, {}});
}

}  // namespace

void serveStream(sockaddr_in address, std::time_t end, volatile sig_atomic_t* stop) {
    const int listener = openListener(address);
    if (listener < 0) {
        return;
    }
    std::vector<Connection> connections;
    std::vector<pollfd> waits;
    std::uint8_t chunk[16384];
    while (*stop == 0 && std::time(nullptr) < end) {
        waits.assign(1, {listener, POLLIN, 0});
        for (const Connection& c : connections) {
            waits.push_back({c.fd, POLLIN, 0});
        }
        if (poll(waits.data(), waits.size(), 200) <= 0) {
            continue;
        }
        for (std::size_t i = connections.size(); i-- > 0;) {
            if (waits[i + 1].revents == 0) {
                continue;
            }
            Connection& c = connections[i];
            const ssize_t n = recv(c.fd, chunk, sizeof chunk, 0);
            if (n > 0) {
                c.held.insert(c.held.end(), chunk, chunk + n);
            }
            if (n <= 0 || !answerHeld(c)) {
                close(c.fd);
                connections.erase(connections.begin() + static_cast<long>(i));
            }
        }
        if ((waits[0].revents & POLLIN) != 0) {
            acceptOne(listener, connections);
        }
    }
    for (const Connection& c : connections) {
        close(c.fd);
    }
    close(listener);
}
