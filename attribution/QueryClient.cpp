#include "attribution/QueryClient.h"

#include <cstddef>
#include <cstring>

#include "attribution/AskerDescription.h"

namespace corvane {

namespace {

// The first version of CorvaneAsker ends with its program field; a caller
// built with a smaller one is refused rather than written past.
constexpr std::size_t FirstAskerSize = offsetof(CorvaneAsker, program) + sizeof(const char16_t*);

constexpr std::uint8_t IPv4Family = 4;

}  // namespace

QueryClient::QueryClient(AskerEngine& engine, const ClientEndpoint& endpoint, LookupBudget& budget)
    : engine_(engine), endpoint_(endpoint), budget_(budget) {
    client_.size = sizeof client_;
    client_.transport = static_cast<std::uint8_t>(endpoint.client.protocol);
    client_.family = IPv4Family;
    client_.port = endpoint.client.port;
    std::memcpy(client_.address, &endpoint.client.address, sizeof endpoint.client.address);
    client_.asker = &QueryClient::askFor;
    client_.context = this;
}

std::int32_t QueryClient::askFor(const CorvaneQueryClient* client, CorvaneAsker* out) {
    if (client == nullptr || client->context == nullptr || out == nullptr ||
        out->size < FirstAskerSize) {
        return -1;
    }
    // The context is this object's own, also in a copy the plug-in made of
    // the structure; the object is alive for as long as the filter call.
    auto* self = static_cast<QueryClient*>(const_cast<void*>(client->context));
    const Asker& asker = self->lookUpOnce();
    const bool named = asker.state == AskerState::Process;
    out->pid = named ? asker.pid : 0;
    out->uid = asker.uid;
    out->program = named ? self->program_.c_str() : u"";
    return named ? 1 : 0;
}

const Asker& QueryClient::lookUpOnce() {
    if (!asker_) {
        asker_ = engine_.lookUp(endpoint_, budget_);
        program_ = programText(asker_->program);
    }
    return *asker_;
}

}  // namespace corvane
