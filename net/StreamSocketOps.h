#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>

#include "net/SocketOps.h"
#include "net/UniqueFd.h"

// The system calls of the layer's TCP side, kept apart from the UDP ones in
// SocketOps but under the same rules: errno is saved right after each call,
// a call that a signal interrupted is retried, and nothing ever waits.
namespace corvane::sockops {

// A TCP socket listening on address, non-blocking and close-on-exec.
// SO_REUSEADDR is its one option: a restart must not be refused while
// connections of the last run linger in TIME_WAIT. Invalid, with error set,
// when any step fails.
NewSocket openTcpListener(const sockaddr_in& address);

// A new IPv4 TCP socket for a link, non-blocking and close-on-exec.
NewSocket openTcpSocket();

// One accepted connection, already non-blocking and close-on-exec, with the
// addresses of both its ends (local zero when the system would not say);
// invalid with error set when none was waiting (EAGAIN) or the accept failed.
struct Accepted {
    UniqueFd fd;
    sockaddr_in remote{};
    sockaddr_in local{};
    int error = 0;
};
Accepted acceptConnection(int listenerFd);

// True for the accept failures that leave the connection waiting because
// this process or the system is out of descriptors or memory: trying again
// at once would fail the same way.
bool outOfResources(int error);

// Milliseconds of a clock that never goes back, for the layer's own short
// rests; unrelated to the time of day.
std::int64_t monotonicMs();

// Turns Nagle's delay off: each DNS message goes out as one write, and a
// client that pipelines must not wait for an acknowledgement to get the
// answers behind the first. 0 on success, else the saved errno.
int setNoDelay(int fd);

// Starts a connect without waiting: 0 when it completed at once, EINPROGRESS
// while it goes on, else the saved errno of the failure.
int startConnect(int fd, const sockaddr_in& remote);

// The outcome of a connect that poll(2) reported finished: 0 for connected,
// else the error it ended with (SO_ERROR).
int connectResult(int fd);

// One recv or send attempt that never waits (send never raises SIGPIPE).
// count is the bytes moved, 0 for the peer's end of stream on a receive, or
// -1 with error set. A send takes first and then second in one call, as if
// they were one piece.
struct Transfer {
    ssize_t count = -1;
    int error = 0;
};
Transfer receiveStream(int fd, std::uint8_t* area, std::size_t capacity);
Transfer sendStream(int fd, std::span<const std::uint8_t> first,
                    std::span<const std::uint8_t> second = {});

// True for the errors that only mean "not now" on a non-blocking socket.
bool wouldBlock(int error);

}  // namespace corvane::sockops
