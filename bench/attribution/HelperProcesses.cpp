#include "HelperProcesses.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane::bench {

namespace {

constexpr unsigned HelperLifetimeSeconds = 600;

// In a child: die with the parent, and in any case after a while.
void boundLife() {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::alarm(HelperLifetimeSeconds);
}

void openSockets(int count) {
    for (int i = 0; i < count; ++i) {
        if (::socket(AF_INET, SOCK_DGRAM, 0) < 0) {
            break;
        }
    }
}

void endChild(pid_t pid) {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
}

std::uint16_t openConnected(std::uint16_t serverPort, int& fd) {
    if (fd >= 0) {
        ::close(fd);
    }
    fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(serverPort);
    if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        return 0;
    }
    sockaddr_in own{};
    socklen_t length = sizeof own;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length);
    return ntohs(own.sin_port);
}

}  // namespace

HelperProcesses::HelperProcesses(int count, int descriptors) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return;
    }
    release_ = pipeEnds[1];
    for (int i = 0; i < count; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            boundLife();
            ::close(pipeEnds[1]);
            openSockets(descriptors);
            char byte;
            (void)!::read(pipeEnds[0], &byte, 1);  // returns when the parent lets go
            ::_exit(0);
        }
        if (pid < 0) {
            break;
        }
        pids_.push_back(pid);
    }
    ::close(pipeEnds[0]);
}

HelperProcesses::~HelperProcesses() {
    if (release_ >= 0) {
        ::close(release_);
    }
    for (const pid_t pid : pids_) {
        endChild(pid);
    }
}

AskingHelper::AskingHelper(std::uint16_t serverPort, int descriptors) {
    int commands[2];
    int replies[2];
    if (::pipe(commands) != 0 || ::pipe(replies) != 0) {
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        boundLife();
        ::close(commands[1]);
        ::close(replies[0]);
        openSockets(descriptors);
        int fd = -1;
        char command;
        while (::read(commands[0], &command, 1) == 1) {
            const std::uint16_t port = openConnected(serverPort, fd);
            if (::write(replies[1], &port, sizeof port) != sizeof port) {
                break;
            }
        }
        ::_exit(0);
    }
    ::close(commands[0]);
    ::close(replies[1]);
    commands_ = commands[1];
    replies_ = replies[0];
}

AskingHelper::~AskingHelper() {
    ::close(commands_);
    ::close(replies_);
    endChild(pid_);
}

std::uint16_t AskingHelper::renewSocket() {
    std::uint16_t port = 0;
    if (pid_ <= 0 || ::write(commands_, "n", 1) != 1 ||
        ::read(replies_, &port, sizeof port) != sizeof port) {
        return 0;
    }
    return port;
}

}  // namespace corvane::bench
