#include "proxy/ProxyLoop.h"

#include <algorithm>
#include <new>
#include <string>

#include "proxy/AnswerPath.h"

namespace corvane {

namespace {

std::int64_t absoluteDifference(std::int64_t a, std::int64_t b) {
    return a > b ? a - b : b - a;
}

// The earlier of two limits of a wait, either of which may be none
// (negative: WindowPoll::NoDeadline, Log::NothingHeld).
std::int32_t earlierDeadline(std::int32_t a, std::int32_t b) {
    if (a < 0) {
        return b;
    }
    return b < 0 ? a : std::min(a, b);
}

// "Failed to open local UDP port (53)" and its TCP twin.
std::u16string portFailure(std::u16string_view transport, std::int64_t port) {
    std::u16string message = u"Failed to open local ";
    message += transport;
    message += u" port (";
    for (char digit : std::to_string(port)) {
        message += static_cast<char16_t>(digit);
    }
    message += u")";
    return message;
}

}  // namespace

ProxyLoop::ProxyLoop(Network& net, Log& log, const Clock& clock, WindowPoll& window,
                     const RandomSeed& seed)
    : net_(net),
      log_(log),
      clock_(clock),
      window_(window),
      queries_(seed),
      lastExpiry_(clock.localSeconds()),
      streams_(clock),
      settledAskers_(queries_.askers, log) {}

ProxyLoop::~ProxyLoop() = default;

void ProxyLoop::startNetwork(const ProxyEndpoints& endpoints) {
    running_ = true;

    if (net_.netStartup() == 0) {
        log_.logLine(u"Failed to init network runtime");
        running_ = false;
    }

    listener_ = net_.listenerOpen(AnyNumber, endpoints.listenPort, Datagram);
    if (listener_ == 0) {
        log_.logLine(portFailure(u"UDP", endpoints.listenPort));
        running_ = false;
    } else {
        openStreamListener(endpoints.listenPort);
    }
    streamUpstream_.setAddress(endpoints.upstreamHost, endpoints.upstreamPort);

    // The datagram mode neither connects nor waits, so the time-out is unused.
    link_ = net_.linkOpen(endpoints.upstreamHost, endpoints.upstreamPort, Datagram, 30);
    if (link_ == 0) {
        log_.logLine(u"Failed to connect DNS server");
        running_ = false;
    }

    netBuffer_.reset(new (std::nothrow) std::uint8_t[NetBufferSize]);
    if (!netBuffer_) {
        log_.logLine(u"Failed to allocate network buffer (pf, 2kb only. WTF)");
        running_ = false;
    }
}

void ProxyLoop::openStreamListener(std::int64_t port) {
    const ListenerHandle tcp = net_.listenerOpen(AnyNumber, port, Stream);
    if (tcp == 0) {
        log_.logLine(portFailure(u"TCP", port));
    }
    streams_.setListener(tcp);
}

void ProxyLoop::streamStep(const ProxyServices& services) {
    if (streams_.listener() == 0) {
        return;
    }
    streams_.step(queries_, streamUpstream_, services);
    streamUpstream_.step(queries_, services);
    streams_.sweep(queries_, services);
}

bool ProxyLoop::turn() {
    // The lines the log holds back reach their place in time whether the
    // loop is busy or idle: a busy loop comes by here, an idle wait ends
    // when they are due.
    log_.writeOutDue();
    const std::int32_t windowEvent = window_.eventPoll();
    if (windowEvent == CloseEvent) {
        return false;
    }

    if (!running_) {
        // Only the window can have anything for an idle proxy.
        if (windowEvent == 0) {
            window_.waitIdle(-1, earlierDeadline(WindowPoll::NoDeadline, log_.msUntilWriteOut()));
        }
        return true;
    }

    // Both endpoints are polled before either datagram is handled, so an
    // answer to a query forwarded in this turn arrives in a later one.
    const NetEvent listenerEvent = net_.listenerPoll(listener_);
    const NetEvent linkEvent = net_.linkPoll(link_);
    LookupBudget budget = turnBudget();
    const LookupBudget given = budget;
    const ProxyServices services = this->services(&budget);
    bool idleTurn = false;

    if (listenerEvent == NetEvent::Data) {
        const ConnectionId client = net_.listenerLastPeer();
        const std::int32_t length = net_.connRecv(client, netBuffer_.get(), NetBufferSize);
        handleQuery(queries_, netBuffer_.get(), length, client, link_, services);
    } else {
        idleTurn = true;
    }

    if (linkEvent == NetEvent::Data) {
        const std::int32_t length = net_.connRecv(link_, netBuffer_.get(), NetBufferSize);
        // An answer longer than the buffer arrived only in part.
        if (net_.linkLastLength(link_) > length) {
            handleOversizedAnswer(queries_, netBuffer_.get(), length, services);
        } else {
            handleAnswer(queries_, netBuffer_.get(), length, services);
        }
    } else {
        idleTurn = true;
    }

    // TCP rides along without changing the UDP rules above: its endpoints
    // keep the idle pause short themselves, as the wait returns at once
    // while one of them has something to report.
    streamStep(services);
    continueLookups(budget);
    allowance_.spent(given, budget);

    if (idleTurn) {
        if (absoluteDifference(clock_.localSeconds(), lastExpiry_) >= ExpiryIntervalSeconds) {
            expiryPass(queries_, services);
            lastExpiry_ = clock_.localSeconds();
        } else if (windowEvent == 0) {
            pauseIdleTurn();
        }
    }
    return true;
}

// A fixed pause would wake a program that has nothing to do many times a
// second, all day. The pause lasts instead until there is something: a
// datagram or a window event (each handled at once in the next turn), work the
// window has due, the next expiry pass, or lines the log holds back coming
// due.
//
// TCP's time-outs (the idle limit, a message's deadline, a wedged upstream)
// are counted in whole seconds by the turn itself, so while a client
// connection or the upstream link is open the pause lasts a second at most:
// each is then met on time, and a program without one still sleeps until the
// next expiry pass. The network layer may have a deadline of its own (a
// listener resting after failed accepts), which ends the pause too, and so
// do lookups of who asked that wait for later turns (msUntilLookups).
void ProxyLoop::pauseIdleTurn() {
    const IdleWait wait = net_.prepareIdleWait();
    if (wait.eventDue) {
        return;
    }
    std::int32_t timeoutMs = msUntilExpiry();
    if (streams_.size() != 0 || streamUpstream_.link() != 0) {
        timeoutMs = std::min(timeoutMs, StreamTimeoutTickMs);
    }
    timeoutMs = earlierDeadline(timeoutMs, wait.wakeWithinMs);
    timeoutMs = earlierDeadline(timeoutMs, msUntilLookups());
    window_.waitIdle(wait.descriptor, earlierDeadline(timeoutMs, log_.msUntilWriteOut()));
}

// The clock counts whole seconds, so waiting the whole seconds that are left
// from now lands at or just after the reading at which the pass is due. A
// clock set back makes the difference grow again, and a wait never lasts
// longer than one interval, so the pass is never put off for long.
std::int32_t ProxyLoop::msUntilExpiry() const {
    const std::int64_t elapsed = absoluteDifference(clock_.localSeconds(), lastExpiry_);
    const std::int64_t left =
        elapsed >= ExpiryIntervalSeconds ? 0 : ExpiryIntervalSeconds - elapsed;
    return static_cast<std::int32_t>(left * 1000);
}

void ProxyLoop::run() {
    while (turn()) {
    }
}

ProxyServices ProxyLoop::services(LookupBudget* budget) {
    ProxyServices made{net_, log_, clock_, filter_, &streams_};
    made.filterFrom = filterFrom_;
    if (budget != nullptr) {
        made.askers = askers_;
        made.lookupBudget = budget;
    }
    return made;
}

// Each turn's lookups share one budget, the query paths' first (their
// lookups cannot wait), then the lookups left from earlier turns.
LookupBudget ProxyLoop::turnBudget() {
    if (askers_ == nullptr) {
        return LookupBudget(0);
    }
    return allowance_.budgetFor(allowanceNow());
}

std::int64_t ProxyLoop::allowanceNow() const {
    return clock_.monotonicMs() * NanosecondsPerMillisecond;
}

void ProxyLoop::continueLookups(LookupBudget& budget) {
    if (askers_ != nullptr && askers_->hasQueuedLookups()) {
        askers_->continueLookups(budget, settledAskers_);
    }
}

// Lookups that wait are taken up again as soon as the allowance gives them
// time: at once while it has some, else when it has refilled. With none
// waiting, attribution never wakes the loop.
std::int32_t ProxyLoop::msUntilLookups() const {
    if (askers_ == nullptr || !askers_->hasQueuedLookups()) {
        return WindowPoll::NoDeadline;
    }
    return allowance_.msUntilBudget(allowanceNow());
}

void ProxyLoop::SettledAskers::attributed(const ClientKey& client, const Asker& asker) {
    queries_.settle(client, asker);
    log_.askerSettled(client, asker);
}

void ProxyLoop::shutdownNetwork() {
    const ProxyServices services = this->services(nullptr);
    streams_.closeAll(queries_, services);
    streamUpstream_.close(queries_, services);
    if (streams_.listener() != 0) {
        net_.listenerClose(streams_.listener());
        streams_.setListener(0);
    }
    if (listener_ != 0) {
        net_.listenerClose(listener_);
        listener_ = 0;
    }
    if (link_ != 0) {
        net_.connClose(link_);
        link_ = 0;
    }
    netBuffer_.reset();
}

}  // namespace corvane
