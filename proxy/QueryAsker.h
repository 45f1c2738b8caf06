#pragma once

#include <optional>
#include <string_view>

#include "attribution/Asker.h"
#include "attribution/ClientEndpoint.h"
#include "attribution/QueryClient.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueryPath.h"

namespace corvane {

// Who asked one query, as the query path needs it: one lookup for the whole
// query, made when it is first needed (by a FilterQueryFrom plug-in that
// asks, before a reply that goes out at once, or for the log line after the
// query went upstream), within the budget of the turn.
//
// A query is attributed when the proxy has an engine and the network layer
// knows both ends of the client's peer; otherwise every call here does
// without, and lines carry no asker. Made for one query on the stack; the
// engine, the budget and storage must outlive it.
class QueryAsker {
public:
    // storage: an Asker reused from query to query, so that its program
    // text keeps its room.
    QueryAsker(const QueryRoute& route, const ProxyServices& s, Asker& storage);
    QueryAsker(const QueryAsker&) = delete;
    QueryAsker& operator=(const QueryAsker&) = delete;

    // The client as a FilterQueryFrom plug-in sees it, asking the engine only
    // when the plug-in asks; null when the query is not attributed.
    const CorvaneQueryClient* pluginView();

    // Looks the asker up, unless it was (by the plug-in or before); null when
    // the query is not attributed.
    const Asker* lookUp();

    // Keeps the asker looked up beside a query in flight; NoHandle when
    // there is none.
    AskerStore::Handle keepIn(AskerStore& store);

    // The line, with the asker when one was looked up.
    void logLine(std::u16string_view message) const;

private:
    const ProxyServices& s_;
    std::optional<ClientEndpoint> endpoint_;
    std::optional<QueryClient> pluginClient_;
    Asker& asker_;
    bool looked_ = false;
};

}  // namespace corvane
