#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace corvane::bench {

// The processes of a busy desktop, for the attribution benchmark: count
// helpers, each holding descriptors UDP sockets and waiting. They end when
// this object is destroyed, and by themselves when the benchmark dies
// (their parent's death kills them) or after ten minutes at most.
class HelperProcesses {
public:
    HelperProcesses(int count, int descriptors);
    ~HelperProcesses();
    HelperProcesses(const HelperProcesses&) = delete;
    HelperProcesses& operator=(const HelperProcesses&) = delete;

    int started() const { return static_cast<int>(pids_.size()); }

private:
    std::vector<pid_t> pids_;
    int release_ = -1;  // the write end the helpers wait on
};

// One more helper, that plays a client asking a
// server at 127.0.0.1:serverPort over UDP: on each renewSocket it closes its
// socket and opens and connects a new one, as the C library's resolver does
// for every query, among descriptors other sockets of its own.
class AskingHelper {
public:
    AskingHelper(std::uint16_t serverPort, int descriptors);
    ~AskingHelper();
    AskingHelper(const AskingHelper&) = delete;
    AskingHelper& operator=(const AskingHelper&) = delete;

    // The client port of its new socket; 0 when the helper failed.
    std::uint16_t renewSocket();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int commands_ = -1;
    int replies_ = -1;
};

}  // namespace corvane::bench
