#pragma once

#include <cstdint>

#include "log/Clock.h"
#include "log/Log.h"
#include "net/Network.h"

namespace corvane {

// The filter plug-in's entry: given one question name as zero-terminated
// 16-bit text (valid only during the call), it returns a verdict. A null
// pointer means no filter is loaded and every query is forwarded.
using FilterQueryFn = std::int32_t (*)(const char16_t* name);

// What the query and answer paths and the expiry pass work through. None of
// it is owned here: the main loop keeps the network layer, the log, the clock
// and the plug-in alive for as long as it calls the proxy engine.
struct ProxyServices {
    Network& net;
    Log& log;
    const Clock& clock;
    FilterQueryFn filter = nullptr;
};

}  // namespace corvane
