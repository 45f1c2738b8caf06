#pragma once

#include "attribution/AttributionSystem.h"
#include "attribution/LocalAddresses.h"
#include "attribution/MonotonicClock.h"
#include "attribution/ProcFs.h"
#include "attribution/SockDiag.h"

namespace corvane {

// The system as the attribution engine reads it, on Linux: the kernel's
// socket lookup (SockDiag), this machine's addresses (LocalAddresses) and
// the processes (ProcFs). The program makes one, beside its engine.
class SystemAttribution final : public AttributionSystem {
public:
    explicit SystemAttribution(const MonotonicClock& clock);

    bool isLocalAddress(std::uint32_t address) override { return addresses_.contains(address); }
    SocketLookup findSocket(const ClientEndpoint& endpoint, SocketRecord& out) override {
        return sockets_.find(endpoint, out);
    }
    // A process's descriptors are readable by its own user, or by one who
    // may trace any process (CAP_SYS_PTRACE, which root has).
    bool mayReadProcessesOf(std::uint32_t uid) const override;
    bool listProcesses(std::vector<std::int32_t>& out) override {
        return processes_.listProcesses(out);
    }
    std::optional<std::uint32_t> processOwner(std::int32_t pid) override {
        return processes_.owner(pid);
    }
    std::unique_ptr<ProcessView> openProcess(std::int32_t pid) override {
        return processes_.open(pid);
    }

private:
    SockDiag sockets_;
    LocalAddresses addresses_;
    ProcFs processes_;
    std::uint32_t ownUid_;
    bool mayTraceAny_;
};

}  // namespace corvane
