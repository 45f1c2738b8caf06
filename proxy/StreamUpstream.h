#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/NetTypes.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/QueryPath.h"
#include "proxy/StreamFramer.h"

namespace corvane {

// The one TCP connection to the upstream resolver that every TCP client's
// queries share, pipelined behind their transaction numbers. Opened when a
// TCP query is forwarded, reopened by the next one after it was lost; the
// queries in flight on a connection that is lost are retired without an
// answer, so their clients' counts come right and nothing waits for them.
//
// A connection is given up when the upstream closes or breaks it, when its
// connect takes too long, and when it is wedged: it owes answers and has
// sent nothing for longer than the idle limit. An upstream that stops
// reading would otherwise hold every later TCP query of every client.
class StreamUpstream final : public UpstreamOnDemand {
public:
    // A connect that has not completed by then is given up.
    static constexpr std::int64_t ConnectTimeoutSeconds = 10;
    // The idle limit of TCP: a connection that owes something and has shown
    // no life for longer is given up, towards the upstream and the clients.
    static constexpr std::int64_t IdleSeconds = 10;

    StreamUpstream();

    void setAddress(std::string_view host, std::int64_t port);

    // The link for a query about to go out, opened when there is none; 0 when
    // it cannot be opened. Each call counts one answer owed.
    ConnectionId linkForQuery(const ProxyServices& s) override;

    // Polls the link once: notes a completed connect, relays the answers in
    // what arrived, or gives the link up when it is lost, broken, too slow
    // to connect or wedged.
    void step(QueriesInFlight& q, const ProxyServices& s);

    // Closes the link and retires what was in flight on it.
    void close(QueriesInFlight& q, const ProxyServices& s);

    ConnectionId link() const { return link_; }

private:
    void receive(QueriesInFlight& q, const ProxyServices& s);
    bool overdue(std::int64_t now) const;

    std::string host_;
    std::int64_t port_ = 0;
    ConnectionId link_ = 0;
    bool connected_ = false;
    std::int64_t openedAt_ = 0;
    // When the link last showed life (its open, a read, or the first query
    // after it owed nothing), and how many answers it owes: one a query
    // sent, less one an answer read, never below 0.
    std::int64_t lastHeard_ = 0;
    std::int64_t owed_ = 0;
    StreamFramer framer_;
    std::vector<std::uint8_t> readArea_;
};

}  // namespace corvane
