#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "attribution/AskerEngine.h"
#include "attribution/LookupAllowance.h"
#include "log/Clock.h"
#include "log/Log.h"
#include "net/Network.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/QueryPath.h"
#include "proxy/StreamSessions.h"
#include "proxy/StreamUpstream.h"
#include "proxy/WindowPoll.h"

namespace corvane {

// Where the proxy listens (UDP and TCP on the same port) and where it
// forwards to. The program passes the
// fixed values; tests pass loopback addresses and ephemeral ports.
struct ProxyEndpoints {
    std::int64_t listenPort = 0;
    std::string_view upstreamHost;
    std::int64_t upstreamPort = 0;
};

// The proxy's state for the life of the process and the turn of its main loop.
// Startup failures are logged and leave the proxy idle (running() false) while
// the window stays usable; the program never ends because of them.
class ProxyLoop {
public:
    static constexpr std::int64_t ExpiryIntervalSeconds = 45;
    // The longest idle pause while TCP connections are open.
    static constexpr std::int32_t StreamTimeoutTickMs = 1000;

    // Creates the tables of queries in flight and stamps the time of the last
    // expiry pass. The upstream transaction numbers and the key of the
    // question digests come from seed: the program takes it from the
    // system's generator, tests pass fixed ones.
    ProxyLoop(Network& net, Log& log, const Clock& clock, WindowPoll& window,
              const RandomSeed& seed);
    ~ProxyLoop();

    ProxyLoop(const ProxyLoop&) = delete;
    ProxyLoop& operator=(const ProxyLoop&) = delete;

    // Starts the network, opens both endpoints and allocates the datagram
    // buffer; each failed step is logged and leaves the proxy idle. The TCP
    // listener is opened after the UDP one; when it fails that is logged and
    // UDP is served alone.
    void startNetwork(const ProxyEndpoints& endpoints);

    // Every query name is offered to this filter; null serves without one.
    // A plug-in's FilterQueryFrom, when it exports one, is called instead
    // of its FilterQuery, with who asked.
    void setFilter(FilterQueryFunction filter, FilterQueryFromFunction filterFrom = nullptr) {
        filter_ = filter;
        filterFrom_ = filterFrom;
    }

    // Names who asked each query: the engine looks up the plug-in's asker
    // and the asker of each line, every lookup of a turn within one budget
    // from the allowance (at most a millisecond a turn), and its lookups
    // left unsettled go on in later turns, the loop not pausing long while
    // they wait. Without it, no query is attributed. The engine must
    // outlive the loop.
    void setAttribution(AskerEngine& engine) { askers_ = &engine; }

    // One turn of the main loop. False when the loop must end: the window was
    // closed, or a stop was requested.
    bool turn();

    // Runs turns until one says to stop.
    void run();

    // Closes the listeners, the TCP sessions and the upstream links and frees
    // the buffer, each only if it was opened. Queries still in flight are
    // dropped.
    void shutdownNetwork();

    bool running() const { return running_; }
    ListenerHandle listener() const { return listener_; }
    ConnectionId upstreamLink() const { return link_; }
    const QueriesInFlight& queriesInFlight() const { return queries_; }
    const StreamSessions& streamSessions() const { return streams_; }
    const StreamUpstream& streamUpstream() const { return streamUpstream_; }

private:
    // Told each lookup that settled in a later turn: the queries in flight
    // that wait for it (their answers' lines) and the log (the lines shown).
    class SettledAskers final : public AskerSink {
    public:
        SettledAskers(AskerStore& queries, Log& log) : queries_(queries), log_(log) {}
        void attributed(const ClientKey& client, const Asker& asker) override;

    private:
        AskerStore& queries_;
        Log& log_;
    };

    ProxyServices services(LookupBudget* budget);
    LookupBudget turnBudget();
    // The allowance's time: the clock's coarse milliseconds, which cost no
    // reading of the precise clock in every turn.
    std::int64_t allowanceNow() const;
    void continueLookups(LookupBudget& budget);
    std::int32_t msUntilLookups() const;
    void pauseIdleTurn();
    std::int32_t msUntilExpiry() const;
    void openStreamListener(std::int64_t port);
    void streamStep(const ProxyServices& services);

    Network& net_;
    Log& log_;
    const Clock& clock_;
    WindowPoll& window_;
    FilterQueryFunction filter_ = nullptr;
    FilterQueryFromFunction filterFrom_ = nullptr;
    AskerEngine* askers_ = nullptr;
    LookupAllowance allowance_;

    QueriesInFlight queries_;
    bool running_ = false;
    std::int64_t lastExpiry_ = 0;
    ListenerHandle listener_ = 0;
    ConnectionId link_ = 0;
    StreamSessions streams_;
    StreamUpstream streamUpstream_;
    std::unique_ptr<std::uint8_t[]> netBuffer_;
    SettledAskers settledAskers_;
};

}  // namespace corvane
