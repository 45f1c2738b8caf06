#pragma once

#include <corvane/filter.h>

#include <optional>
#include <string>

#include "attribution/Asker.h"
#include "attribution/AskerEngine.h"
#include "attribution/ClientEndpoint.h"
#include "attribution/MonotonicClock.h"

namespace corvane {

// One query's client as a FilterQueryFrom plug-in sees it: the read-only
// CorvaneQueryClient of corvane/filter.h, whose asker callback looks the
// client up in the engine the first time a plug-in calls it, within the
// budget given, and answers later calls for the query from that first
// answer. Made by the query path for one query and kept alive across the
// filter calls for its names; the engine and the budget must outlive it.
class QueryClient {
public:
    QueryClient(AskerEngine& engine, const ClientEndpoint& endpoint, LookupBudget& budget);
    QueryClient(const QueryClient&) = delete;
    QueryClient& operator=(const QueryClient&) = delete;

    // What the plug-in gets, pointing into this object.
    const CorvaneQueryClient* view() const { return &client_; }
    // The answer, once a plug-in asked; none while it has not.
    const std::optional<Asker>& asked() const { return asker_; }

private:
    static std::int32_t askFor(const CorvaneQueryClient* client, CorvaneAsker* out);
    const Asker& lookUpOnce();

    CorvaneQueryClient client_{};
    AskerEngine& engine_;
    ClientEndpoint endpoint_;
    LookupBudget& budget_;
    std::optional<Asker> asker_;
    std::u16string program_;  // what CorvaneAsker.program points to
};

}  // namespace corvane
