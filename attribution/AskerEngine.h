#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <utility>
#include <vector>

#include "attribution/Asker.h"
#include "attribution/AttributionSystem.h"
#include "attribution/ClientCache.h"
#include "attribution/ClientEndpoint.h"
#include "attribution/HolderSearch.h"
#include "attribution/MonotonicClock.h"
#include "attribution/RecentProcesses.h"

namespace corvane {

// Told the settled answer of every lookup that lookUp left unsettled, once
// per client: by the key the caller keeps beside what waits for it (a log
// line). Called from inside the engine: take note, do not call back into it.
class AskerSink {
public:
    virtual void attributed(const ClientKey& client, const Asker& asker) = 0;

protected:
    ~AskerSink() = default;
};

struct AttributionLimits {
    // How long an answer is trusted without asking the system again.
    std::int64_t trustNanoseconds = NanosecondsPerSecond;
    // How long a lookup may go on over later turns before it settles with
    // what it knows; by then its client has long had its answer.
    std::int64_t lookupLifetimeNanoseconds = 2 * NanosecondsPerSecond;
    // Lookups waiting for later turns; one more settles at once with what
    // its socket lookup told.
    std::size_t maxQueued = 256;
    std::size_t cacheCapacity = 4096;
    std::size_t recentCapacity = 16;
};

// Who asked: the process behind a client address and port of this machine,
// or the address of another machine (see attribution/Asker.h for what an
// answer holds, attribution/HolderSearch.h for how it is found).
//
// Two ways in, both bounded by a LookupBudget that the caller shares across
// its calls in one turn of its loop:
//   lookUp           at once, for what cannot wait (a plug-in's verdict, a
//                    reply sent at once, after which the client closes its
//                    socket): the answer, settled, or what is known when the
//                    budget ran out, with settled false; the lookup then goes
//                    on in continueLookups.
//   continueLookups  in every turn while lookups wait (hasQueuedLookups):
//                    goes on with them in order and hands each settled
//                    answer to the sink, by key.
// A call starts a step only when the step, judged by the longest step
// lately, would end within the budget; steps are small (a few tens of
// microseconds), so a call keeps to its budget but for a step that the
// system made slower than any before it.
// A lookup's first step, the kernel's socket lookup (one netlink round trip,
// a few microseconds), runs at once in lookUp even with the budget spent: it
// pins the client's socket while the client still waits for its answer, so
// a port reused by another program later cannot be mistaken for it.
//
// Every lookUp that returns an unsettled answer is followed by exactly one
// delivery for its key, shared by every lookUp of that key until then. A
// lookUp can settle a queued lookup itself; its answer is then delivered by
// the next continueLookups as well.
//
// Single-threaded: the loop's thread only. Owns nothing of the system: the
// caller keeps the system and the clock alive as long as the engine.
class AskerEngine {
public:
    AskerEngine(AttributionSystem& system, const MonotonicClock& clock,
                const AttributionLimits& limits = {});

    Asker lookUp(const ClientEndpoint& endpoint, LookupBudget& budget);
    // The same into out, whose storage (the program's text) is reused: the
    // query path asks for every query, and an answer from the cache then
    // costs no allocation.
    void lookUp(const ClientEndpoint& endpoint, LookupBudget& budget, Asker& out);
    void continueLookups(LookupBudget& budget, AskerSink& sink);
    bool hasQueuedLookups() const { return !queue_.empty() || !ready_.empty(); }

private:
    HolderSearch* queuedSearch(const ClientKey& client);
    void continueQueued(HolderSearch& queued, std::int64_t start, const LookupBudget& budget,
                        Asker& out);
    void startSearch(const ClientEndpoint& endpoint, std::int64_t start, const LookupBudget& budget,
                     Asker& out);
    // Steps the search while a step still fits the budget.
    void runWithin(HolderSearch& search, std::int64_t start, const LookupBudget& budget);
    // Whether one more step, as long as the longest lately, ends within the
    // budget counted from start; now is the time read for it.
    bool stepFits(std::int64_t start, std::int64_t now, const LookupBudget& budget) const;
    // One step of the search, timed for the estimate.
    void timedStep(HolderSearch& search, SearchContext& context, std::int64_t now);
    void remember(const HolderSearch& search, std::int64_t now);

    AttributionSystem& system_;
    const MonotonicClock& clock_;
    AttributionLimits limits_;
    ClientCache cache_;
    RecentProcesses recent_;
    std::vector<std::int32_t> listedPids_;
    std::deque<std::unique_ptr<HolderSearch>> queue_;
    // The longest step lately, decaying by an eighth with every step, so a
    // step is not started that would run past the budget.
    std::int64_t stepEstimate_ = 0;
    std::vector<std::pair<ClientKey, Asker>> ready_;
};

}  // namespace corvane
