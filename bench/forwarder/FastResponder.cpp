// A DNS responder that is never the slow link of a forwarding benchmark: it
// answers every query with one fixed A record, taking and sending datagrams
// in batches (recvmmsg/sendmmsg), and over TCP on the same address and port
// in a thread of its own (StreamResponder). It knows no names and keeps no
// state.
//
//   fast_responder ADDRESS PORT MAX-SECONDS
//
// It ends by itself after MAX-SECONDS, or at SIGTERM/SIGINT, so a benchmark
// that dies cannot leave it running for ever.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

#include "ResponderAnswer.h"
#include "StreamResponder.h"

namespace {

constexpr int kBatch = 64;
constexpr std::size_t kDatagramSize = 2048;

volatile sig_atomic_t stopRequested = 0;

void onStop(int) {
    stopRequested = 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ADDRESS PORT MAX-SECONDS\n", argv[0]);
        return 2;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &address.sin_addr) != 1) {
        std::fprintf(stderr, "not an IPv4 address: %s\n", argv[1]);
        return 2;
    }
    const long maxSeconds = std::atol(argv[3]);

    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("socket/bind");
        return 1;
    }
    const int bufferBytes = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferBytes, sizeof bufferBytes);
    // Wake up now and then to notice the time limit and stop requests.
    const timeval wake{0, 200'000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wake, sizeof wake);

    struct sigaction action {};
    action.sa_handler = onStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    static std::uint8_t buffers[kBatch][kDatagramSize];
    std::array<sockaddr_in, kBatch> sources{};
    std::array<iovec, kBatch> vectors{};
    std::array<mmsghdr, kBatch> messages{};
    std::array<mmsghdr, kBatch> replies{};
    std::array<iovec, kBatch> replyVectors{};

    const std::time_t end = std::time(nullptr) + maxSeconds;
    std::thread stream(serveStream, address, end, &stopRequested);
    unsigned long long answered = 0;
    while (stopRequested == 0 && std::time(nullptr) < end) {
        for (int i = 0; i < kBatch; ++i) {
            vectors[i] = {buffers[i], kDatagramSize};
            messages[i].msg_hdr = {};
            messages[i].msg_hdr.msg_name = &sources[i];
            messages[i].msg_hdr.msg_namelen = sizeof sources[i];
            messages[i].msg_hdr.msg_iov = &vectors[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int received = recvmmsg(fd, messages.data(), kBatch, MSG_WAITFORONE, nullptr);
        if (received <= 0) {
            continue;  // time-out or signal: look at the clock and the stop flag
        }
        int count = 0;
        for (int i = 0; i < received; ++i) {
            const std::size_t length = makeAnswer(buffers[i], messages[i].msg_len, kDatagramSize);
            if (length == 0) {
                continue;
            }
            replyVectors[count] = {buffers[i], length};
            replies[count].msg_hdr = {};
            replies[count].msg_hdr.msg_name = &sources[i];
            replies[count].msg_hdr.msg_namelen = messages[i].msg_hdr.msg_namelen;
            replies[count].msg_hdr.msg_iov = &replyVectors[count];
            replies[count].msg_hdr.msg_iovlen = 1;
            ++count;
        }
        int sent = 0;
        while (sent < count) {
            const int n =
                sendmmsg(fd, replies.data() + sent, static_cast<unsigned>(count - sent), 0);
            if (n <= 0) {
                break;  // a full send queue drops the rest, as a loaded server would
            }
            sent += n;
        }
        answered += static_cast<unsigned long long>(sent);
    }
    stream.join();
    std::printf("answered %llu\n", answered);
    close(fd);
    return 0;
}
