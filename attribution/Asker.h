#pragma once

#include <cstdint>
#include <string>

namespace corvane {

// How much is known of who asked a query.
enum class AskerState : std::uint8_t {
    // Nothing beyond the client's address and port: its socket was gone by the
    // time of the lookup, the lookup failed, or it has not finished yet.
    Unknown,
    // Another machine: its address and port are all there is to know.
    Remote,
    // The socket's owner (uid) is known; no process holding it could be read
    // (another user's, while Corvane runs as a user) or found.
    Owner,
    // The process holding the socket: pid, uid and program.
    Process,
};

// The answer to "who asked?" for one client address and port. Never a guess:
// each field holds only what was read from the system for this client.
struct Asker {
    AskerState state = AskerState::Unknown;
    std::int32_t pid = 0;   // 0 unless state is Process
    std::int64_t uid = -1;  // the socket's owner; -1 for Unknown and Remote
    // The program's name as the system has it, bytes (usually UTF-8): the file
    // name of its executable, or its comm. Empty unless state is Process.
    std::string program;
    // False while the lookup goes on in later turns; what is here is then
    // what is known so far, and the final answer is delivered by key.
    bool settled = true;
};

}  // namespace corvane
