// One DNS client at a low, steady rate: sends a query, waits for its answer
// (at most one second), and keeps to a fixed schedule of RATE queries a
// second. Prints how many were answered and the round-trip times: average,
// median, 99th percentile and maximum, in microseconds.
//
//   latency_probe SERVER PORT RATE COUNT NAMES-FILE [fresh]
//
// With "fresh", each query goes out from a socket of its own, connected and
// closed after its answer, as the C library's resolver asks: the server
// then never sees a client port twice.
//
// NAMES-FILE holds one "name type" per line (the dnsperf query format); the
// names are asked in turn. Bounded: COUNT queries, each waited for one second
// at most.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::int64_t nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

std::uint16_t typeCode(const std::string& type) {
    if (type == "AAAA") {
        return 28;
    }
    if (type == "MX") {
        return 15;
    }
    if (type == "TXT") {
        return 16;
    }
    return 1;
}

// A query in wire form with ID 0; the ID is set per send.
std::vector<std::uint8_t> encodeQuery(const std::string& name, const std::string& type) {
    std::vector<std::uint8_t> out = {0, 0, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    std::stringstream labels(name);
    std::string label;
    while (std::getline(labels, label, '.')) {
        if (label.empty() || label.size() > 63) {
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(label.size()));
        out.insert(out.end(), label.begin(), label.end());
    }
    const std::uint16_t code = typeCode(type);
    out.insert(out.end(), {0, static_cast<std::uint8_t>(code >> 8),
                           static_cast<std::uint8_t>(code & 0xFF), 0, 1});
    return out;
}

// A UDP socket connected to the server; -1 on failure.
int connectedSocket(const sockaddr_in& server) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    const bool fresh = argc == 7 && std::strcmp(argv[6], "fresh") == 0;
    if (argc != 6 && !fresh) {
        std::fprintf(stderr, "usage: %s SERVER PORT RATE COUNT NAMES-FILE [fresh]\n", argv[0]);
        return 2;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
    if (inet_pton(AF_INET, argv[1], &server.sin_addr) != 1) {
        std::fprintf(stderr, "not an IPv4 address: %s\n", argv[1]);
        return 2;
    }
    const long rate = std::max(1L, std::atol(argv[3]));
    const long count = std::clamp(std::atol(argv[4]), 1L, 1'000'000L);

    std::vector<std::vector<std::uint8_t>> queries;
    std::ifstream names(argv[5]);
    std::string name, type;
    while (names >> name >> type) {
        queries.push_back(encodeQuery(name, type));
    }
    if (queries.empty()) {
        std::fprintf(stderr, "no names in %s\n", argv[5]);
        return 2;
    }

    int fd = connectedSocket(server);
    if (fd < 0) {
        std::perror("socket/connect");
        return 1;
    }

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(count));
    long lost = 0;
    const std::int64_t interval = 1'000'000'000 / rate;
    std::int64_t due = nowNs();
    std::uint8_t answer[4096];
    for (long i = 0; i < count; ++i) {
        std::vector<std::uint8_t>& query = queries[static_cast<std::size_t>(i) % queries.size()];
        const auto id = static_cast<std::uint16_t>(i * 7919 + 1);
        query[0] = static_cast<std::uint8_t>(id >> 8);
        query[1] = static_cast<std::uint8_t>(id & 0xFF);

        if (fresh && i > 0) {
            close(fd);
            fd = connectedSocket(server);
            if (fd < 0) {
                std::perror("socket/connect");
                return 1;
            }
        }
        const std::int64_t sent = nowNs();
        if (send(fd, query.data(), query.size(), 0) != static_cast<ssize_t>(query.size())) {
            ++lost;
        } else {
            bool answered = false;
            while (!answered) {
                const std::int64_t left = sent + 1'000'000'000 - nowNs();
                pollfd wait{fd, POLLIN, 0};
                if (left <= 0 || poll(&wait, 1, static_cast<int>(left / 1'000'000) + 1) <= 0) {
                    break;
                }
                const ssize_t n = recv(fd, answer, sizeof answer, 0);
                // Only the answer to this very query counts; a late one is skipped.
                answered = n >= 12 && answer[0] == query[0] && answer[1] == query[1];
            }
            if (answered) {
                micros.push_back(static_cast<double>(nowNs() - sent) / 1000.0);
            } else {
                ++lost;
            }
        }
        due += interval;
        const std::int64_t wait = due - nowNs();
        if (wait > 0) {
            const timespec pause{static_cast<time_t>(wait / 1'000'000'000),
                                 static_cast<long>(wait % 1'000'000'000)};
            nanosleep(&pause, nullptr);
        }
    }
    close(fd);

    if (micros.empty()) {
        std::printf("answered 0 lost %ld\n", lost);
        return 1;
    }
    std::sort(micros.begin(), micros.end());
    double sum = 0;
    for (double m : micros) {
        sum += m;
    }
    const auto at = [&](double fraction) {
        const auto index =
            static_cast<std::size_t>(fraction * static_cast<double>(micros.size() - 1));
        return micros[index];
    };
    std::printf("answered %zu lost %ld avg_us %.1f p50_us %.1f p99_us %.1f max_us %.1f\n",
                micros.size(), lost, sum / static_cast<double>(micros.size()), at(0.5), at(0.99),
                micros.back());
    return 0;
}
