/* The yardstick of the forwarding benchmark: the main loop's shape and
 * nothing else. One UDP socket for clients, one for the upstream; each turn
 * takes at most one datagram from each, forwards a query under a number of
 * its own and relays an answer to its client with the client's ID restored;
 * a turn that found a socket empty waits in poll() for either. No log, no
 * window, no expiry: what is left is the system calls the loop cannot avoid.
 *
 * Usage: bare_relay LISTEN_ADDRESS LISTEN_PORT UPSTREAM_ADDRESS UPSTREAM_PORT SECONDS
 * It ends after SECONDS, so that a forgotten relay cannot run on. */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

enum { BufferSize = 2048, IdSpace = 65536, IdlePauseMs = 1000 };

struct Client {
    struct sockaddr_in address;
    uint16_t id; /* the client's own transaction ID, network order */
    int used;
};

static struct Client clients[IdSpace];

static int udpSocket(const char* address, int port, int bindIt) {
    struct sockaddr_in where;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    memset(&where, 0, sizeof where);
    where.sin_family = AF_INET;
    where.sin_port = htons((uint16_t)port);
    if (fd < 0 || inet_pton(AF_INET, address, &where.sin_addr) != 1) {
        return -1;
    }
    if ((bindIt ? bind(fd, (struct sockaddr*)&where, sizeof where)
                : connect(fd, (struct sockaddr*)&where, sizeof where)) != 0) {
        return -1;
    }
    return fd;
}

/* A query from a client goes upstream under the next number. */
static void forwardQuery(int link, uint8_t* buffer, ssize_t length, const struct sockaddr_in* from,
                         uint16_t* next) {
    struct Client* slot = &clients[*next];
    uint16_t ours = htons(*next);
    if (length < 12) {
        return;
    }
    slot->address = *from;
    memcpy(&slot->id, buffer, 2);
    slot->used = 1;
    memcpy(buffer, &ours, 2);
    *next = (uint16_t)(*next + 1);
    send(link, buffer, (size_t)length, MSG_DONTWAIT);
}

/* An answer goes back to the client that asked, under its own ID. */
static void relayAnswer(int listener, uint8_t* buffer, ssize_t length) {
    uint16_t ours;
    struct Client* slot;
    if (length < 12) {
        return;
    }
    memcpy(&ours, buffer, 2);
    slot = &clients[ntohs(ours)];
    if (!slot->used) {
        return;
    }
    slot->used = 0;
    memcpy(buffer, &slot->id, 2);
    sendto(listener, buffer, (size_t)length, MSG_DONTWAIT, (struct sockaddr*)&slot->address,
           sizeof slot->address);
}

int main(int argc, char** argv) {
    static uint8_t buffer[BufferSize];
    uint16_t next = 1;
    time_t end;
    int listener, link;
    if (argc != 6) {
        fprintf(stderr,
                "usage: %s LISTEN_ADDRESS LISTEN_PORT UPSTREAM_ADDRESS UPSTREAM_PORT SECONDS\n",
                argv[0]);
        return 2;
    }
    listener = udpSocket(argv[1], atoi(argv[2]), 1);
    link = udpSocket(argv[3], atoi(argv[4]), 0);
    if (listener < 0 || link < 0) {
        perror("bare_relay: socket");
        return 1;
    }
    end = time(NULL) + atoi(argv[5]);
    while (time(NULL) < end) {
        struct sockaddr_in from;
        socklen_t fromLength = sizeof from;
        int idle = 0;
        ssize_t length = recvfrom(listener, buffer, BufferSize, MSG_DONTWAIT,
                                  (struct sockaddr*)&from, &fromLength);
        if (length >= 0) {
            forwardQuery(link, buffer, length, &from, &next);
        } else {
            idle = 1;
        }
        length = recv(link, buffer, BufferSize, MSG_DONTWAIT);
        if (length >= 0) {
            relayAnswer(listener, buffer, length);
        } else {
            idle = 1;
        }
        if (idle) {
            struct pollfd both[2] = {{listener, POLLIN, 0}, {link, POLLIN, 0}};
            poll(both, 2, IdlePauseMs);
        }
    }
    return 0;
}
