#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "attribution/Asker.h"
#include "attribution/AttributionSystem.h"
#include "attribution/ClientCache.h"
#include "attribution/ClientEndpoint.h"
#include "attribution/RecentProcesses.h"

namespace corvane {

// What one search reads and updates besides its own state.
struct SearchContext {
    AttributionSystem& system;
    RecentProcesses& recent;
    const ClientCache& cache;
    // The pids of the last listing of every process, ascending: a pid not
    // among them belongs to a process started since.
    std::vector<std::int32_t>& listedPids;
};

// The search for who holds one client's socket, cut into small steps that
// the engine runs while its budget lasts, in one call or over several turns:
//
//   1. the kernel's socket lookup: gone (Unknown), another machine (Remote),
//      or the socket's inode and owner (Owner from here on);
//   2. hints, one process a step: the process the cache last named for this
//      client, then the recent processes of the socket's owner, each at the
//      descriptor where it held its last socket;
//   3. the scan, after one listing of every process: first the processes
//      started since the last listing, newest first (a program run for one
//      query, as a script runs getent, is new every time); then the hinted
//      processes' whole descriptor tables, the descriptors nearest the hint
//      first; then every other process, newest first; of each process, only
//      if it is the socket owner's; a few descriptors or processes a step.
//
// The holder found is named only after its start time is read through the
// same opened process: a name remembered for the pid is used only when the
// start time matches, so a reused pid is never named after the process that
// had it before. Not found at the end: Owner, never a guess.
class HolderSearch {
public:
    HolderSearch(const ClientEndpoint& endpoint, std::int64_t startedAt);

    // One bounded piece of work; nothing once settled.
    void step(SearchContext& context);
    // Ends the search with what is known, for a lookup out of time or room.
    void settleAsKnown() { settle(); }

    bool settled() const { return phase_ == Phase::Settled; }
    const ClientEndpoint& endpoint() const { return endpoint_; }
    std::int64_t startedAt() const { return startedAt_; }
    // What is known so far; final once settled.
    const Asker& asker() const { return asker_; }
    // The settled answer as the cache keeps it.
    CachedAsker cacheEntry(std::int64_t now) const;

private:
    enum class Phase : std::uint8_t { Socket, Hints, Scan, Settled };

    struct Candidate {
        std::int32_t pid = 0;
        std::uint64_t startTime = 0;
        int descriptor = -1;
        std::string program;
    };

    // A process to scan, in the order of the scan.
    struct ScanItem {
        std::int32_t pid = 0;
        int hint = -1;            // where to start reading its descriptors
        bool ownerKnown = false;  // a hinted process: the owner's already
    };

    // The process whose descriptors are being read.
    struct ProcessScan {
        std::unique_ptr<ProcessView> view;
        std::int32_t pid = 0;
        std::vector<int> descriptors;
        std::size_t next = 0;
    };

    void findSocket(SearchContext& context);
    void gatherCandidates(SearchContext& context, std::uint32_t uid);
    void tryNextHint(SearchContext& context);
    void scanStep(SearchContext& context);
    void planScan(SearchContext& context);
    void scanProcesses(SearchContext& context);
    void openForScan(SearchContext& context, std::int32_t pid, int hint);
    void scanDescriptors(SearchContext& context);
    bool holdsSocket(ProcessView& view, int descriptor);
    bool nameHolder(SearchContext& context, ProcessView& view, std::int32_t pid, int descriptor);
    std::string rememberedProgram(const SearchContext& context, std::int32_t pid,
                                  std::uint64_t startTime) const;
    bool isCandidate(std::int32_t pid) const;
    void settle();

    ClientEndpoint endpoint_;
    std::int64_t startedAt_;
    Phase phase_ = Phase::Socket;
    Asker asker_;

    std::uint64_t inode_ = 0;
    std::uint32_t owner_ = 0;
    std::string expectedLink_;  // "socket:[inode]"
    std::uint64_t startTime_ = 0;
    int descriptor_ = -1;

    std::vector<Candidate> candidates_;
    std::size_t nextHint_ = 0;
    bool listed_ = false;
    std::vector<ScanItem> order_;
    std::size_t nextItem_ = 0;
    ProcessScan scan_;
    std::string text_;  // reused for each text read
};

}  // namespace corvane
