#include "attribution/AskerEngine.h"

#include <algorithm>

namespace corvane {

namespace {

// A step is designed to take a few tens of microseconds; one that took far
// longer was preempted, and must not keep every later step from starting.
constexpr std::int64_t LongestStepEstimate = 250'000;

}  // namespace

AskerEngine::AskerEngine(AttributionSystem& system, const MonotonicClock& clock,
                         const AttributionLimits& limits)
    : system_(system),
      clock_(clock),
      limits_(limits),
      cache_(limits.cacheCapacity, limits.trustNanoseconds),
      recent_(limits.recentCapacity) {}

Asker AskerEngine::lookUp(const ClientEndpoint& endpoint, LookupBudget& budget) {
    Asker answer;
    lookUp(endpoint, budget, answer);
    return answer;
}

void AskerEngine::lookUp(const ClientEndpoint& endpoint, LookupBudget& budget, Asker& out) {
    const std::int64_t start = clock_.nanoseconds();
    if (const CachedAsker* known = cache_.trusted(endpoint.client, start)) {
        // The common case, a client that keeps its socket: a table lookup,
        // too short to count against the budget or to read the clock again.
        out = known->asker;
        return;
    }
    if (HolderSearch* queued = queuedSearch(endpoint.client)) {
        continueQueued(*queued, start, budget, out);
    } else {
        startSearch(endpoint, start, budget, out);
    }
    budget.spend(clock_.nanoseconds() - start);
}

void AskerEngine::continueQueued(HolderSearch& queued, std::int64_t start,
                                 const LookupBudget& budget, Asker& out) {
    if (start - queued.startedAt() >= limits_.lookupLifetimeNanoseconds) {
        queued.settleAsKnown();
    }
    runWithin(queued, start, budget);
    out = queued.asker();
    if (queued.settled()) {
        // Settled here, it is still owed to those who waited for it.
        remember(queued, clock_.nanoseconds());
        ready_.emplace_back(queued.endpoint().client, out);
        std::erase_if(queue_, [&queued](const auto& s) { return s.get() == &queued; });
    }
}

void AskerEngine::startSearch(const ClientEndpoint& endpoint, std::int64_t start,
                              const LookupBudget& budget, Asker& out) {
    auto search = std::make_unique<HolderSearch>(endpoint, start);
    SearchContext context{system_, recent_, cache_, listedPids_};
    search->step(context);  // the socket lookup, whatever the budget
    runWithin(*search, start, budget);
    if (!search->settled() && queue_.size() >= limits_.maxQueued) {
        search->settleAsKnown();
    }
    out = search->asker();
    if (search->settled()) {
        remember(*search, clock_.nanoseconds());
    } else {
        queue_.push_back(std::move(search));
    }
}

void AskerEngine::continueLookups(LookupBudget& budget, AskerSink& sink) {
    const std::int64_t start = clock_.nanoseconds();
    std::vector<std::pair<ClientKey, Asker>> ready = std::move(ready_);
    ready_.clear();
    for (const auto& [client, asker] : ready) {
        sink.attributed(client, asker);
    }
    SearchContext context{system_, recent_, cache_, listedPids_};
    while (!queue_.empty()) {
        HolderSearch& search = *queue_.front();
        const std::int64_t now = clock_.nanoseconds();
        if (now - search.startedAt() >= limits_.lookupLifetimeNanoseconds) {
            search.settleAsKnown();
        } else if (!stepFits(start, now, budget)) {
            break;
        } else {
            timedStep(search, context, now);
        }
        if (search.settled()) {
            remember(search, clock_.nanoseconds());
            const ClientKey client = search.endpoint().client;
            const Asker asker = search.asker();
            queue_.pop_front();
            sink.attributed(client, asker);
        }
    }
    budget.spend(clock_.nanoseconds() - start);
}

HolderSearch* AskerEngine::queuedSearch(const ClientKey& client) {
    const auto found = std::find_if(queue_.begin(), queue_.end(), [&](const auto& search) {
        return search->endpoint().client == client;
    });
    return found == queue_.end() ? nullptr : found->get();
}

void AskerEngine::runWithin(HolderSearch& search, std::int64_t start, const LookupBudget& budget) {
    SearchContext context{system_, recent_, cache_, listedPids_};
    while (!search.settled()) {
        const std::int64_t now = clock_.nanoseconds();
        if (!stepFits(start, now, budget)) {
            break;
        }
        timedStep(search, context, now);
    }
}

bool AskerEngine::stepFits(std::int64_t start, std::int64_t now, const LookupBudget& budget) const {
    return now - start + stepEstimate_ < budget.remaining();
}

void AskerEngine::timedStep(HolderSearch& search, SearchContext& context, std::int64_t now) {
    search.step(context);
    const std::int64_t took = clock_.nanoseconds() - now;
    stepEstimate_ =
        std::min(LongestStepEstimate, std::max(took, stepEstimate_ - stepEstimate_ / 8));
}

void AskerEngine::remember(const HolderSearch& search, std::int64_t now) {
    // A client whose socket was gone has nothing worth keeping: a later query
    // from its port comes from a new socket, maybe another program's.
    if (search.asker().state != AskerState::Unknown) {
        cache_.store(search.endpoint().client, search.cacheEntry(now), now);
    }
}

}  // namespace corvane
