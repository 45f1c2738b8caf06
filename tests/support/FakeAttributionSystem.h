#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "attribution/AttributionSystem.h"
#include "attribution/MonotonicClock.h"
#include "attribution/ProcText.h"

namespace corvane::test {

// Stands still unless told to move, like FakeClock: a test sets now, or
// stepPerRead to advance it after each reading.
class FakeMonotonicClock final : public MonotonicClock {
public:
    std::int64_t nanoseconds() const override {
        const std::int64_t reading = now;
        now += stepPerRead;
        return reading;
    }

    mutable std::int64_t now = 5 * NanosecondsPerSecond;
    std::int64_t stepPerRead = 0;
};

// One process of the fake system.
struct FakeProcess {
    std::uint32_t owner = 1000;
    std::uint64_t startTime = 100;
    std::string executable;                  // exe's link target; empty: unreadable
    std::string comm;                        // without the newline the system adds
    std::map<int, std::string> descriptors;  // descriptor -> link target
    bool readable = true;                    // false: its descriptors, stat, exe and comm fail
};

// The system of sockets and processes as attribution reads it, in memory.
// Processes are keyed by pid; an opened process keeps its start time, and
// every read through it fails once the pid names another start time or none,
// as reads through a /proc directory do. Each call moves the clock (when
// given one) by costPerCall and is counted, so tests can spend a budget and
// see what was read.
class FakeAttributionSystem final : public AttributionSystem {
public:
    using SocketKey = std::tuple<std::uint8_t, std::uint32_t, std::uint16_t>;

    std::map<std::int32_t, FakeProcess> processes;
    std::map<SocketKey, SocketRecord> sockets;  // by protocol, client address, client port
    std::set<std::uint32_t> localAddresses;
    bool socketLookupFails = false;
    std::optional<std::uint32_t> onlyReadableUid;  // none: every user's processes are readable

    FakeMonotonicClock* clock = nullptr;
    std::int64_t costPerCall = 0;

    int socketLookups = 0;
    int processOpens = 0;
    int linkReads = 0;
    int listings = 0;
    int ownerChecks = 0;
    int nameReads = 0;

    // The client's socket of this inode and owner.
    void addSocket(const ClientKey& client, std::uint64_t inode, std::uint32_t uid) {
        sockets[keyOf(client)] = SocketRecord{inode, uid};
    }
    void removeSocket(const ClientKey& client) { sockets.erase(keyOf(client)); }
    // The process holds socket inode under descriptor fd.
    void hold(std::int32_t pid, int fd, std::uint64_t inode) {
        processes[pid].descriptors[fd] = socketLinkText(inode);
    }

    bool isLocalAddress(std::uint32_t address) override {
        spend();
        return localAddresses.contains(address);
    }
    SocketLookup findSocket(const ClientEndpoint& endpoint, SocketRecord& out) override {
        spend();
        ++socketLookups;
        if (socketLookupFails) {
            return SocketLookup::Failed;
        }
        const auto found = sockets.find(keyOf(endpoint.client));
        if (found == sockets.end()) {
            return SocketLookup::Gone;
        }
        out = found->second;
        return SocketLookup::Found;
    }
    bool mayReadProcessesOf(std::uint32_t uid) const override {
        return !onlyReadableUid || *onlyReadableUid == uid;
    }
    bool listProcesses(std::vector<std::int32_t>& out) override {
        spend();
        ++listings;
        out.clear();
        for (const auto& entry : processes) {
            out.push_back(entry.first);
        }
        return true;
    }
    std::optional<std::uint32_t> processOwner(std::int32_t pid) override {
        spend();
        ++ownerChecks;
        const auto found = processes.find(pid);
        return found == processes.end() ? std::nullopt : std::optional(found->second.owner);
    }
    std::unique_ptr<ProcessView> openProcess(std::int32_t pid) override;

private:
    friend class FakeProcessView;

    static SocketKey keyOf(const ClientKey& client) {
        return {static_cast<std::uint8_t>(client.protocol), client.address, client.port};
    }
    void spend() {
        if (clock != nullptr) {
            clock->now += costPerCall;
        }
    }
};

class FakeProcessView final : public ProcessView {
public:
    FakeProcessView(FakeAttributionSystem& system, std::int32_t pid, std::uint64_t startTime)
        : system_(system), pid_(pid), startTime_(startTime) {}

    bool descriptorLink(int fd, std::string& out) override {
        ++system_.linkReads;
        const FakeProcess* process = same();
        if (process == nullptr) {
            return false;
        }
        const auto found = process->descriptors.find(fd);
        if (found == process->descriptors.end()) {
            return false;
        }
        out = found->second;
        return true;
    }
    bool descriptors(std::vector<int>& out) override {
        const FakeProcess* process = same();
        out.clear();
        if (process == nullptr) {
            return false;
        }
        for (const auto& entry : process->descriptors) {
            out.push_back(entry.first);
        }
        return true;
    }
    bool statText(std::string& out) override {
        const FakeProcess* process = same();
        if (process == nullptr) {
            return false;
        }
        out = std::to_string(pid_) + " (" + process->comm + ") S 1 2 3 4 5 6 7 8 9 10 11 12 13 " +
              "14 15 16 17 18 " + std::to_string(process->startTime) + " 19 20\n";
        return true;
    }
    bool executableLink(std::string& out) override {
        ++system_.nameReads;
        const FakeProcess* process = same();
        if (process == nullptr || process->executable.empty()) {
            return false;
        }
        out = process->executable;
        return true;
    }
    bool commandText(std::string& out) override {
        const FakeProcess* process = same();
        if (process == nullptr) {
            return false;
        }
        out = process->comm + "\n";
        return true;
    }

private:
    // The process opened, while it still runs: the same pid and start time.
    const FakeProcess* same() {
        system_.spend();
        const auto found = system_.processes.find(pid_);
        if (found == system_.processes.end() || found->second.startTime != startTime_ ||
            !found->second.readable) {
            return nullptr;
        }
        return &found->second;
    }

    FakeAttributionSystem& system_;
    std::int32_t pid_;
    std::uint64_t startTime_;
};

inline std::unique_ptr<ProcessView> FakeAttributionSystem::openProcess(std::int32_t pid) {
    spend();
    ++processOpens;
    const auto found = processes.find(pid);
    if (found == processes.end()) {
        return nullptr;
    }
    return std::make_unique<FakeProcessView>(*this, pid, found->second.startTime);
}

}  // namespace corvane::test
