#include "proxy/StreamUpstream.h"

#include <new>
#include <span>

#include "proxy/AnswerPath.h"

namespace corvane {

namespace {

// One read takes up to this much; what is left is read in the next turn.
constexpr std::size_t ReadAreaSize = 16 * 1024;

}  // namespace

StreamUpstream::StreamUpstream() : readArea_(ReadAreaSize) {}

void StreamUpstream::setAddress(std::string_view host, std::int64_t port) {
    host_.assign(host);
    port_ = port;
}

ConnectionId StreamUpstream::linkForQuery(const ProxyServices& s) {
    const std::int64_t now = s.clock.localSeconds();
    if (link_ == 0 && !host_.empty()) {
        // The layer never waits for the connect; the time-out is ours.
        link_ = s.net.linkOpen(host_, port_, Stream, 0);
        connected_ = false;
        openedAt_ = now;
        owed_ = 0;
        framer_.reset();
    }
    if (link_ != 0) {
        // A query after a quiet spell gets the whole idle limit for its answer.
        if (owed_ == 0) {
            lastHeard_ = now;
        }
        ++owed_;
    }
    return link_;
}

void StreamUpstream::step(QueriesInFlight& q, const ProxyServices& s) {
    if (link_ == 0) {
        return;
    }
    switch (s.net.linkPoll(link_)) {
        case NetEvent::Connect:
            connected_ = true;
            break;
        case NetEvent::Data:
            receive(q, s);
            break;
        case NetEvent::None:
            if (overdue(s.clock.localSeconds())) {
                close(q, s);
            }
            break;
        default:
            // Disconnect; a link reports nothing else.
            close(q, s);
            break;
    }
}

bool StreamUpstream::overdue(std::int64_t now) const {
    // A clock set back counts as time gone by, as for the expiry pass.
    if (!connected_) {
        const std::int64_t waited = now - openedAt_;
        return waited >= ConnectTimeoutSeconds || waited < 0;
    }
    // Whole seconds, as for the clients: the full limit at least.
    const std::int64_t quiet = now - lastHeard_;
    return owed_ > 0 && (quiet > IdleSeconds || quiet < 0);
}

void StreamUpstream::receive(QueriesInFlight& q, const ProxyServices& s) {
    const std::int32_t length =
        s.net.connRecv(link_, readArea_.data(), static_cast<std::int32_t>(readArea_.size()));
    if (length > 0) {
        lastHeard_ = s.clock.localSeconds();
    }
    std::span<std::uint8_t> input(readArea_.data(), static_cast<std::size_t>(length));
    try {
        while (!input.empty()) {
            const StreamFramer::Step step = framer_.next(input);
            input = input.subspan(step.consumed);
            if (step.status == StreamFramer::Status::NeedMore) {
                return;
            }
            if (step.status == StreamFramer::Status::Malformed) {
                break;
            }
            owed_ = owed_ > 0 ? owed_ - 1 : 0;
            handleStreamAnswer(q, step.message.data(),
                               static_cast<std::int32_t>(step.message.size()), link_, s);
        }
        if (!framer_.malformed()) {
            return;
        }
    } catch (const std::bad_alloc&) {
        // The rest of a split answer could not be held: the stream is lost.
    }
    close(q, s);
}

void StreamUpstream::close(QueriesInFlight& q, const ProxyServices& s) {
    if (link_ == 0) {
        return;
    }
    const ConnectionId lost = link_;
    retireWhere(q, s, [lost](const PendingQuery& record) {
        return record.transport == Transport::Stream && record.upstream == lost;
    });
    s.net.connClose(lost);
    link_ = 0;
    connected_ = false;
    owed_ = 0;
    framer_.reset();
}

}  // namespace corvane
