#include "proxy/QueryAsker.h"

#include "net/NetTypes.h"

namespace corvane {

namespace {

// Both ends of the client's peer, as the kernel's socket lookup needs them.
std::optional<ClientEndpoint> endpointOf(const QueryRoute& route, const ProxyServices& s) {
    PeerEnds ends;
    if (s.askers == nullptr || s.lookupBudget == nullptr || !s.net.connEnds(route.client, ends)) {
        return std::nullopt;
    }
    ClientEndpoint endpoint;
    endpoint.client.protocol =
        route.transport == Transport::Stream ? IpProtocol::Tcp : IpProtocol::Udp;
    endpoint.client.address = ends.remoteAddress;
    endpoint.client.port = ends.remotePort;
    endpoint.serverAddress = ends.localAddress;
    endpoint.serverPort = ends.localPort;
    return endpoint;
}

}  // namespace

QueryAsker::QueryAsker(const QueryRoute& route, const ProxyServices& s, Asker& storage)
    : s_(s), endpoint_(endpointOf(route, s)), asker_(storage) {}

const CorvaneQueryClient* QueryAsker::pluginView() {
    if (!endpoint_) {
        return nullptr;
    }
    if (!pluginClient_) {
        pluginClient_.emplace(*s_.askers, *endpoint_, *s_.lookupBudget);
    }
    return pluginClient_->view();
}

const Asker* QueryAsker::lookUp() {
    if (!endpoint_) {
        return nullptr;
    }
    if (!looked_) {
        // The plug-in's answer is the query's: a second lookup could only
        // cost time, or name another socket on the same port.
        if (pluginClient_ && pluginClient_->asked()) {
            asker_ = *pluginClient_->asked();
        } else {
            s_.askers->lookUp(*endpoint_, *s_.lookupBudget, asker_);
        }
        looked_ = true;
    }
    return &asker_;
}

AskerStore::Handle QueryAsker::keepIn(AskerStore& store) {
    return looked_ ? store.keep(endpoint_->client, asker_) : AskerStore::NoHandle;
}

void QueryAsker::logLine(std::u16string_view message) const {
    if (looked_) {
        s_.log.queryLine(message, endpoint_->client, asker_);
    } else {
        s_.log.logLine(message);
    }
}

}  // namespace corvane
