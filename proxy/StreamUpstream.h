#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/NetTypes.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/StreamFramer.h"

namespace corvane {

// The one TCP connection to the upstream resolver that every TCP client's
// queries share, pipelined behind their transaction numbers. Opened when a
// TCP query needs it, reopened by the next one after the upstream closed it;
// the queries in flight on a connection that is lost are retired without an
// answer, so their clients' counts come right and nothing waits for them.
class StreamUpstream {
public:
    // A connect that has not completed by then is given up.
    static constexpr std::int64_t ConnectTimeoutSeconds = 10;

    StreamUpstream();

    void setAddress(std::string_view host, std::int64_t port);

    // The link for a query about to go out, opened when there is none; 0 when
    // it cannot be opened.
    ConnectionId linkForQuery(const ProxyServices& s);

    // Polls the link once: notes a completed connect, relays the answers in
    // what arrived, or gives the link up when it is lost, broken or too slow
    // to connect.
    void step(QueriesInFlight& q, const ProxyServices& s);

    // Closes the link and retires what was in flight on it.
    void close(QueriesInFlight& q, const ProxyServices& s);

    ConnectionId link() const { return link_; }

private:
    void receive(QueriesInFlight& q, const ProxyServices& s);

    std::string host_;
    std::int64_t port_ = 0;
    ConnectionId link_ = 0;
    bool connected_ = false;
    std::int64_t openedAt_ = 0;
    StreamFramer framer_;
    std::vector<std::uint8_t> readArea_;
};

}  // namespace corvane
