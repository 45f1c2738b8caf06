#pragma once

#include <corvane/filter.h>

#include "attribution/AskerEngine.h"
#include "attribution/MonotonicClock.h"
#include "log/Clock.h"
#include "log/Log.h"
#include "net/Network.h"

namespace corvane {

// Told what became of each reply sent on a TCP client's connection: a sent
// one counts as activity (the connection is not idle while answers flow), a
// refused one means the connection is broken or its reader has stalled, and
// the connection is to be closed. Called from inside the paths, so the
// listener must only take note and act later.
class StreamReplies {
public:
    virtual void replySent(ConnectionId client) = 0;
    virtual void replyRefused(ConnectionId client) = 0;

protected:
    ~StreamReplies() = default;
};

// What the query and answer paths and the expiry pass work through. None of
// it is owned here: the main loop keeps the network layer, the log, the clock,
// the plug-in and the attribution engine alive for as long as it calls the
// proxy engine.
struct ProxyServices {
    Network& net;
    Log& log;
    const Clock& clock;
    // The plug-in's FilterQuery, as its public header declares it; null when
    // no filter is loaded, and every query is then forwarded.
    FilterQueryFunction filter = nullptr;
    // The TCP client sessions, told of each reply on a stream; null when no
    // stream is served.
    StreamReplies* streamReplies = nullptr;
    // The plug-in's FilterQueryFrom, called instead of filter when set: it
    // is told who sent the query and can ask for the process behind it. It
    // needs askers; without them filter is called.
    FilterQueryFromFunction filterFrom = nullptr;
    // Who asked each query, and the budget the turn's lookups share; null
    // when queries are not attributed (their lines then carry no asker).
    AskerEngine* askers = nullptr;
    LookupBudget* lookupBudget = nullptr;
};

}  // namespace corvane
