#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "attribution/ClientEndpoint.h"

namespace corvane {

// What the kernel's socket lookup said of one client endpoint.
enum class SocketLookup : std::uint8_t {
    Found,   // a socket a reply would reach: its inode and owner
    Gone,    // no such socket (closed, or only a listener or a closing TCP end)
    Failed,  // the lookup itself failed; nothing is known
};

struct SocketRecord {
    std::uint64_t inode = 0;
    std::uint32_t uid = 0;
};

// One process, opened once by pid. Every read refers to that very process:
// once it has ended, reads fail, even when its pid already names another.
// Texts come as the system gives them; the core reads them.
class ProcessView {
public:
    virtual ~ProcessView() = default;

    // The link target of descriptor fd ("socket:[1234]" for a socket) into
    // out. False when fd is not open or the target is longer than any socket's.
    virtual bool descriptorLink(int fd, std::string& out) = 0;
    // The numbers of its open descriptors, in the system's order. False when
    // they cannot be read (another user's process, or it ended).
    virtual bool descriptors(std::vector<int>& out) = 0;
    // The text of its stat file, the link target of its executable, and its
    // comm (with the system's newline). False when unreadable.
    virtual bool statText(std::string& out) = 0;
    virtual bool executableLink(std::string& out) = 0;
    virtual bool commandText(std::string& out) = 0;
};

// The system as attribution reads it: the kernel's socket lookup, the
// machine's own addresses and the processes. Implemented on netlink and /proc
// (attribution/SystemAttribution) and by fakes in tests. Each call does a
// small, bounded piece of work; the engine checks its budget between calls.
// Single-threaded, like the loop that calls it.
class AttributionSystem {
public:
    virtual ~AttributionSystem() = default;

    // True when address (network byte order) is one of this machine's own,
    // outside 127.0.0.0/8, which the engine knows by itself.
    virtual bool isLocalAddress(std::uint32_t address) = 0;
    // The socket a reply from the endpoint's server address and port to its
    // client would reach, connected or not: one exact lookup, no dump.
    virtual SocketLookup findSocket(const ClientEndpoint& endpoint, SocketRecord& out) = 0;
    // False when no process of that user can be read, so that searching
    // them is no use (Corvane runs as another user, without privilege).
    virtual bool mayReadProcessesOf(std::uint32_t uid) const = 0;
    // The pids of every process, in the system's order. False on failure.
    virtual bool listProcesses(std::vector<std::int32_t>& out) = 0;
    // The user that owns the process's entries; none when it has ended.
    virtual std::optional<std::uint32_t> processOwner(std::int32_t pid) = 0;
    // The process, opened for reading; null when it has ended or is hidden.
    virtual std::unique_ptr<ProcessView> openProcess(std::int32_t pid) = 0;
};

}  // namespace corvane
