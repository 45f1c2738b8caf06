// The proxy's memory over time: the input is a script of steps by six
// clients and the upstream resolver, run against one pair of tables.
//
// Each step is one byte (the step kind, modulo 9) and its arguments; a script
// that runs out of bytes reads zeros:
//   0  raw datagram from a client: client, length, that many bytes
//   1  well-formed query from a client: client, ID (2 bytes), verdict letter
//   2  answer to a held query: which one, length
//   3  answer under any number: number (2 bytes), length
//   4  clock step: seconds (signed byte), scale
//   5  expiry pass
//   6  sends to a client or upstream: whom, then full / fail / short
//   7  burst of forwarded queries from one client: client, count (2 bytes);
//      at most 256 queries, but up to 65536 as the script's first step with
//      client byte 0xFF (such a flood is slow: the tables' chains grow long,
//      so only inputs that start with it pay for it)
//   8  numbers used up meanwhile by queries answered elsewhere: count (2 bytes)
// A client's peer opens with the datagram that needs it and takes a fresh
// ConnectionId each time, so an id used after its close is always caught.
// After every step the tables must agree with each other and with the open
// peers; after the script, a clock jump and a final expiry pass must leave
// both tables empty and every peer closed.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "FuzzCheck.h"
#include "ProxyHarness.h"
#include "TrackingNetwork.h"
#include "proxy/AnswerPath.h"
#include "proxy/KeyText.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/QueryPath.h"

namespace corvane::fuzz {
namespace {

constexpr ConnectionId Upstream = 0xFFFF0001;
constexpr std::size_t Clients = 6;
// Bounds the work of one input: enough for one client to hold every number
// and others to take some of them over, but no more, to keep inputs fast.
constexpr std::size_t QueryBudget = 70'000;
// Auditing walks both tables; with tens of thousands of records held, every
// 64th step is enough to stay fast, and the end of the script is always audited.
constexpr std::size_t AuditEverySizeLimit = 1024;

class Script {
public:
    explicit Script(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool done() const { return at_ >= bytes_.size(); }
    std::uint8_t byte() { return at_ < bytes_.size() ? bytes_[at_++] : 0; }
    std::uint16_t word() {
        const std::uint8_t high = byte();
        return static_cast<std::uint16_t>(high << 8 | byte());
    }
    std::span<const std::uint8_t> take(std::size_t count) {
        count = std::min(count, bytes_.size() - std::min(at_, bytes_.size()));
        const std::span<const std::uint8_t> out = bytes_.subspan(at_, count);
        at_ += count;
        return out;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

class Sequence {
public:
    Sequence() { services_.filter = scriptedFilter; }

    void run(Script& script) {
        std::size_t step = 0;
        while (!script.done() && queries_ < QueryBudget) {
            const std::uint8_t kind = script.byte() % 9;
            switch (kind) {
                case 0:
                    rawDatagram(script);
                    break;
                case 1:
                    wellFormedQuery(script);
                    break;
                case 2:
                    answerHeld(script);
                    break;
                case 3:
                    answerAny(script);
                    break;
                case 4:
                    stepClock(script);
                    break;
                case 5:
                    expiryPass(q_, services_);
                    break;
                case 6:
                    setSends(script);
                    break;
                case 7:
                    burst(script, step == 0);
                    break;
                default:
                    q_.txCounter = static_cast<std::uint16_t>(q_.txCounter + script.word());
                    break;
            }
            net_.sent.clear();
            log_.lines.clear();
            offeredNames().clear();
            ++step;
            if (q_.pendingQueries.size() < AuditEverySizeLimit || step % 64 == 0) {
                auditTables(q_, net_);
            }
        }
        auditTables(q_, net_);
        finish();
    }

private:
    // The id of the client's open peer, opening a new one if it has none.
    ConnectionId peerOf(std::size_t client) {
        ConnectionId& id = peers_[client % Clients];
        if (id == 0 || !net_.isOpen(id)) {
            do {
                id = nextId_++;
            } while (id == 0 || id == Upstream);
            const auto forced = sendResults_[client % Clients];
            if (forced.has_value()) {
                net_.setSendResult(id, *forced);
            }
        }
        net_.receivedFrom(id);
        return id;
    }

    void query(std::size_t client, std::span<const std::uint8_t> bytes) {
        ++queries_;
        const ConnectionId id = peerOf(client);
        std::unique_ptr<std::uint8_t[]> datagram(new std::uint8_t[bytes.size()]);
        if (!bytes.empty()) {
            std::memcpy(datagram.get(), bytes.data(), bytes.size());
        }
        handleQuery(q_, datagram.get(), static_cast<std::int32_t>(bytes.size()), id, Upstream,
                    services_);
    }

    void answer(std::uint16_t number, std::size_t length) {
        std::vector<std::uint8_t> datagram(length, 0x5A);
        if (length >= 2) {
            datagram[0] = static_cast<std::uint8_t>(number & 0xFF);
            datagram[1] = static_cast<std::uint8_t>(number >> 8);
        }
        const PendingQuery* held =
            length >= 12 ? q_.pendingQueries.find(transactionKey(number).view()) : nullptr;
        const ConnectionId expectedTo = held != nullptr ? held->client : 0;
        handleAnswer(q_, datagram.data(), static_cast<std::int32_t>(length), services_);
        FUZZ_CHECK(held == nullptr ? net_.sent.empty()
                                   : net_.sent.size() == 1 && net_.sent[0].to == expectedTo,
                   "an answer goes to the client that asked, and only a held one");
    }

    void rawDatagram(Script& script) {
        const std::size_t client = script.byte();
        const std::size_t length = script.byte();
        query(client, script.take(length));
    }

    void wellFormedQuery(Script& script) {
        const std::size_t client = script.byte();
        const std::uint16_t id = script.word();
        constexpr char Letters[] = {'a', 'b', 'r', 'x', 'n'};
        const char label[] = {Letters[script.byte() % 5], 'q', '\0'};
        const std::vector<std::uint8_t> bytes = simpleQuery(
            static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id & 0xFF), label);
        query(client, bytes);
    }

    void answerHeld(Script& script) {
        const std::size_t which = script.byte();
        const std::size_t length = 12 + script.byte() % 64;
        if (q_.pendingQueries.size() == 0) {
            return;
        }
        std::size_t skip = which % q_.pendingQueries.size();
        q_.pendingQueries.resetWalk();
        while (skip-- != 0) {
            q_.pendingQueries.nextInWalk();
        }
        q_.pendingQueries.nextInWalk();
        const std::u16string_view key = q_.pendingQueries.currentKey();
        std::int32_t value = 0;
        const bool negative = !key.empty() && key.front() == u'-';
        for (char16_t c : key.substr(negative ? 1 : 0)) {
            value = value * 10 + (c - u'0');
        }
        answer(static_cast<std::uint16_t>(negative ? -value : value), length);
    }

    void answerAny(Script& script) {
        const std::uint16_t number = script.word();
        answer(number, script.byte() % 80);
    }

    void stepClock(Script& script) {
        const auto seconds = static_cast<std::int8_t>(script.byte());
        constexpr std::int64_t Scales[] = {1, 15, 3600, std::int64_t{1} << 31};
        clock_.now += seconds * Scales[script.byte() % 4];
        latest_ = std::max(latest_, clock_.now);
    }

    void setSends(Script& script) {
        const std::size_t whom = script.byte() % (Clients + 1);
        const std::uint8_t mode = script.byte() % 3;
        const std::optional<std::int32_t> result =
            mode == 0 ? std::nullopt : std::optional<std::int32_t>(mode == 1 ? -1 : 0);
        if (whom == Clients) {
            if (result.has_value()) {
                net_.setSendResult(Upstream, *result);
            } else {
                net_.clearSendResult(Upstream);
            }
            return;
        }
        sendResults_[whom] = result;
        if (peers_[whom] != 0) {
            if (result.has_value()) {
                net_.setSendResult(peers_[whom], *result);
            } else {
                net_.clearSendResult(peers_[whom]);
            }
        }
    }

    // Small bursts and counter skips reach the wraps cheaply; a flood of
    // tens of thousands takes an explicit request at the start.
    void burst(Script& script, bool first) {
        const std::size_t client = script.byte();
        const bool huge = first && client == 0xFF;
        const std::uint16_t word = script.word();
        const std::size_t count = (huge ? std::size_t{word} : std::size_t{word} % 0x100) + 1;
        std::vector<std::uint8_t> bytes = simpleQuery(0, 0, "flood");
        for (std::size_t i = 0; i < count && queries_ < QueryBudget; ++i) {
            bytes[0] = static_cast<std::uint8_t>(i >> 8);
            bytes[1] = static_cast<std::uint8_t>(i & 0xFF);
            query(client, bytes);
            net_.sent.clear();
            log_.lines.clear();
            offeredNames().clear();
        }
    }

    // Every query is forgotten 30 seconds after it was sent at the latest, so
    // one pass after a jump past every stamp must leave nothing behind.
    void finish() {
        clock_.now = latest_ + QueryLifetimeSeconds;
        expiryPass(q_, services_);
        FUZZ_CHECK(q_.pendingQueries.size() == 0, "queries left after the last expiry pass");
        FUZZ_CHECK(q_.clientRefs.size() == 0, "ClientRefs left after the last expiry pass");
        FUZZ_CHECK(net_.openClients().empty(), "peers left open after the last expiry pass");
    }

    TrackingNetwork net_{Upstream};
    RecordingLog log_;
    SettableClock clock_;
    ProxyServices services_{net_, log_, clock_, nullptr};
    QueriesInFlight q_;
    std::array<ConnectionId, Clients> peers_{};
    std::array<std::optional<std::int32_t>, Clients> sendResults_{};
    // Counts up through the top of the signed range, so client keys turn negative.
    ConnectionId nextId_ = 0x7FFFFFFC;
    std::int64_t latest_ = SettableClock{}.now;
    std::size_t queries_ = 0;
};

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::Script script({data, size});
    corvane::fuzz::Sequence sequence;
    sequence.run(script);
    return 0;
}
