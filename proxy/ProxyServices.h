#pragma once

#include <corvane/filter.h>

#include "log/Clock.h"
#include "log/Log.h"
#include "net/Network.h"

namespace corvane {

// What the query and answer paths and the expiry pass work through. None of
// it is owned here: the main loop keeps the network layer, the log, the clock
// and the plug-in alive for as long as it calls the proxy engine.
struct ProxyServices {
    Network& net;
    Log& log;
    const Clock& clock;
    // The plug-in's FilterQuery, as its public header declares it; null when
    // no filter is loaded, and every query is then forwarded.
    FilterQueryFunction filter = nullptr;
};

}  // namespace corvane
