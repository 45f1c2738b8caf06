// The proxy's memory over time: a script of steps by six clients and the
// upstream resolver, run against one pair of tables. The sequence target runs
// scripts; the flood target first fills the tables with a flood of up to
// 65,536 queries, then runs a script against what the flood left.
//
// Each step is one byte (the step kind, modulo 9) and its arguments; a script
// that runs out of bytes reads zeros:
//   0  raw datagram from a client: client, length, that many bytes
//   1  well-formed query from a client: client, ID (2 bytes), verdict letter
//   2  answer to a held query, as the upstream makes it: which one, length
//   3  answer under any number: number (2 bytes), length
//   4  clock step: seconds (signed byte), scale
//   5  expiry pass
//   6  sends to a client or upstream: whom, then full / fail / short
//   7  burst of forwarded queries from one client: client, count - 1 (2
//      bytes, taken modulo 256)
//   8  forged answer to a held query, its answer with one byte of the
//      question changed: which one, offset past the header, bits to flip
// A flood is a client and count - 1 (2 bytes), at the start of the input.
// A client's peer opens with the datagram that needs it and takes a fresh
// ConnectionId each time, so an id used after its close is always caught.
// An answer must reach the client that asked exactly when its number is held
// and it carries that query's question (an independent reading decides).
// After every step the tables must agree with each other and with the open
// peers; after the script, a clock jump and a final expiry pass must leave
// both tables empty and every peer closed.
//
// Every query is attributed, by the engine on a fake system where each
// client's socket is held by a process among others and goes when its peer
// closes; every third step's budget is spent before it starts, so lookups
// are left for later steps, which go on with them as the loop's turns do.
// The names go to the plug-in stand-in through FilterQueryFrom, which asks
// for the asker of each and checks that a process named holds the socket.
// Each query in flight must hold exactly one asker, and none may be left,
// nor any waiting, once the lookups are done after the script.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "ProxyHarness.h"
#include "TrackingNetwork.h"
#include "attribution/AskerEngine.h"
#include "proxy/AnswerPath.h"
#include "proxy/KeyText.h"
#include "proxy/QueriesInFlight.h"
#include "proxy/QueryPath.h"
#include "tests/support/FakeAttributionSystem.h"

namespace corvane::fuzz {

constexpr std::size_t Clients = 6;
// Bounds the work of one input. A flood may hold every number and let other
// clients take some of them over. A script alone gets two full bursts and a
// half: more records than the tables have slots, yet a few milliseconds an
// input at most, so that the script target stays fast on a corpus that
// campaigns keep growing (their inputs tend to spend the whole budget).
constexpr std::size_t FloodQueryBudget = 70'000;
constexpr std::size_t ScriptQueryBudget = 640;
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

// The plug-in stand-in as a FilterQueryFrom plug-in that asks who sent every
// name: a program named is one of the clients' own, at its pid.
inline std::int32_t scriptedFilterFrom(const char16_t* name, const CorvaneQueryClient* client) {
    CorvaneAsker asker{sizeof asker, -1, -2, nullptr};
    const std::int32_t named = client->asker(client, &asker);
    FUZZ_CHECK(named == 0 || named == 1, "the asker callback's result");
    FUZZ_CHECK(asker.program != nullptr, "no program text");
    if (named == 1) {
        FUZZ_CHECK(asker.pid >= 100 && asker.pid < 100 + static_cast<std::int32_t>(Clients) &&
                       client->port == 40000 + (asker.pid - 100) &&
                       std::u16string_view(asker.program) == u"client",
                   "a query named after a process that does not hold its client's socket");
    } else {
        FUZZ_CHECK(asker.pid == 0 && *asker.program == 0, "a process named without being known");
    }
    return scriptedFilter(name);
}

class Sequence {
public:
    explicit Sequence(std::size_t queryBudget) : queryBudget_(queryBudget) {
        services_.filter = scriptedFilter;
        services_.filterFrom = scriptedFilterFrom;
        services_.askers = &engine_;
        services_.lookupBudget = &budget_;
        system_.clock = &steady_;
        system_.costPerCall = 100'000;
        // Other processes of the clients' user, read before the holders.
        for (std::int32_t pid = 200; pid < 210; ++pid) {
            for (int fd = 0; fd < 8; ++fd) {
                system_.processes[pid].descriptors[fd] = "/dev/null";
            }
        }
    }

    // Floods are slow (the tables' chains grow long), so they have a target
    // of their own and only come first.
    void flood(Script& script) {
        const std::size_t client = script.byte();
        queries(client, std::size_t{script.word()} + 1);
        audit();
    }

    void run(Script& script) {
        std::size_t step = 0;
        while (!script.done() && queries_ < queryBudget_) {
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
                    burst(script);
                    break;
                default:
                    forgedAnswer(script);
                    break;
            }
            continueLookups(step);
            forgetStep();
            ++step;
            if (q_.pendingQueries.size() < AuditEverySizeLimit || step % 64 == 0) {
                audit();
            }
        }
        audit();
        finish();
    }

private:
    // Told each lookup that settled in a later step, as the loop's sink is.
    class Settled final : public AskerSink {
    public:
        explicit Settled(AskerStore& store) : store_(store) {}
        void attributed(const ClientKey& client, const Asker& asker) override {
            store_.settle(client, asker);
        }

    private:
        AskerStore& store_;
    };

    void audit() {
        auditTables(q_, net_);
        FUZZ_CHECK(q_.askers.size() == q_.pendingQueries.size(),
                   "a query in flight without its asker, or an asker left behind");
    }

    // The next step's budget: every third one spent before it starts.
    void continueLookups(std::size_t step) {
        budget_ = LookupBudget(step % 3 == 0 ? 0 : NanosecondsPerMillisecond);
        if (engine_.hasQueuedLookups()) {
            engine_.continueLookups(budget_, settled_);
        }
    }

    // Each client peer has a socket of its own, held by a process of its
    // own at descriptor 3: a new one for each peer, the last one gone.
    void openSocket(std::size_t client, ConnectionId id) {
        const std::uint32_t loopback = 0x0100007F;  // 127.0.0.1 in network byte order
        const ClientKey key{IpProtocol::Udp, loopback, static_cast<std::uint16_t>(40000 + client)};
        system_.removeSocket(key);
        const std::uint64_t inode = nextInode_++;
        system_.addSocket(key, inode, 1000);
        system_.hold(static_cast<std::int32_t>(100 + client), 3, inode);
        system_.processes[static_cast<std::int32_t>(100 + client)].executable = "/usr/bin/client";
        net_.ends[id] = PeerEnds{loopback, key.port, loopback, 53};
    }

    // The id of the client's open peer, opening a new one if it has none.
    ConnectionId peerOf(std::size_t client) {
        ConnectionId& id = peers_[client % Clients];
        if (id == 0 || !net_.isOpen(id)) {
            do {
                id = nextId_++;
            } while (id == 0 || id == UpstreamLink);
            openSocket(client % Clients, id);
            const auto forced = sendResults_[client % Clients];
            if (forced.has_value()) {
                net_.sendResult[id] = *forced;
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
        const std::size_t sentBefore = net_.sent.size();
        handleQuery(q_, datagram.get(), static_cast<std::int32_t>(bytes.size()), id, UpstreamLink,
                    services_);
        // What went upstream, to answer it later as the upstream would.
        for (std::size_t i = sentBefore; i < net_.sent.size(); ++i) {
            if (net_.sent[i].to == UpstreamLink && net_.sent[i].bytes.size() >= 2) {
                forwarded_[numberOf(net_.sent[i].bytes)] = net_.sent[i].bytes;
            }
        }
    }

    void answer(std::vector<std::uint8_t> datagram) {
        const std::size_t length = datagram.size();
        const PendingQuery* held =
            length >= 12 ? q_.pendingQueries.find(transactionKey(datagram[0], datagram[1]).view())
                         : nullptr;
        const ConnectionId expectedTo = held != nullptr ? held->client : 0;
        const bool taken =
            held != nullptr && sameQuestion(datagram, forwarded_.at(numberOf(datagram)));
        const std::size_t recordsBefore = q_.pendingQueries.size();
        handleAnswer(q_, datagram.data(), static_cast<std::int32_t>(length), services_);
        FUZZ_CHECK(
            taken ? net_.sent.size() == 1 && net_.sent[0].to == expectedTo : net_.sent.empty(),
            "an answer goes to the client that asked, and only one held and asked for");
        FUZZ_CHECK(q_.pendingQueries.size() == recordsBefore - (taken ? 1 : 0),
                   "only the answer taken retires its query");
    }

    // The number of the held query which picks, walking the table; none when
    // nothing is held.
    std::optional<std::uint16_t> heldNumber(std::size_t which) {
        if (q_.pendingQueries.size() == 0) {
            return std::nullopt;
        }
        std::size_t skip = which % q_.pendingQueries.size();
        q_.pendingQueries.resetWalk();
        while (skip-- != 0) {
            q_.pendingQueries.nextInWalk();
        }
        q_.pendingQueries.nextInWalk();
        return transactionNumberOf(q_.pendingQueries.currentKey());
    }

    // The upstream's answer to a forwarded query: the query with QR set, and
    // records after it up to length.
    std::vector<std::uint8_t> answerTo(std::uint16_t number, std::size_t length) const {
        std::vector<std::uint8_t> out = forwarded_.at(number);
        out[2] |= 0x80;
        out.resize(std::max(out.size(), length), 0x5A);
        return out;
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
        if (const std::optional<std::uint16_t> number = heldNumber(which)) {
            answer(answerTo(*number, length));
        }
    }

    void answerAny(Script& script) {
        const std::uint16_t number = script.word();
        std::vector<std::uint8_t> datagram(script.byte() % 80, 0x5A);
        if (datagram.size() >= 2) {
            datagram[0] = static_cast<std::uint8_t>(number & 0xFF);
            datagram[1] = static_cast<std::uint8_t>(number >> 8);
        }
        answer(std::move(datagram));
    }

    void forgedAnswer(Script& script) {
        const std::size_t which = script.byte();
        const std::size_t offset = script.byte();
        const std::uint8_t flip = script.byte();
        if (const std::optional<std::uint16_t> number = heldNumber(which)) {
            std::vector<std::uint8_t> datagram = answerTo(*number, 0);
            datagram[(12 + offset) % datagram.size()] ^= flip;
            answer(std::move(datagram));
        }
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
                net_.sendResult[UpstreamLink] = *result;
            } else {
                net_.sendResult.erase(UpstreamLink);
            }
            return;
        }
        sendResults_[whom] = result;
        if (peers_[whom] != 0) {
            if (result.has_value()) {
                net_.sendResult[peers_[whom]] = *result;
            } else {
                net_.sendResult.erase(peers_[whom]);
            }
        }
    }

    void burst(Script& script) {
        const std::size_t client = script.byte();
        queries(client, std::size_t{script.word()} % 0x100 + 1);
    }

    // The same query from one client count times, with IDs counting up.
    void queries(std::size_t client, std::size_t count) {
        std::vector<std::uint8_t> bytes = simpleQuery(0, 0, "flood");
        for (std::size_t i = 0; i < count && queries_ < queryBudget_; ++i) {
            bytes[0] = static_cast<std::uint8_t>(i >> 8);
            bytes[1] = static_cast<std::uint8_t>(i & 0xFF);
            query(client, bytes);
            forgetStep();
        }
    }

    void forgetStep() {
        net_.sent.clear();
        log_.clear();
        offeredNames().clear();
    }

    // Every query is forgotten 30 seconds after it was sent at the latest, so
    // one pass after a jump past every stamp must leave nothing behind.
    void finish() {
        clock_.now = latest_ + QueryLifetimeSeconds;
        expiryPass(q_, services_);
        FUZZ_CHECK(q_.pendingQueries.size() == 0, "queries left after the last expiry pass");
        FUZZ_CHECK(q_.clientRefs.size() == 0, "ClientRefs left after the last expiry pass");
        FUZZ_CHECK(net_.openClients().empty(), "peers left open after the last expiry pass");
        FUZZ_CHECK(q_.heldNumbers.size() == 0, "numbers held after the last expiry pass");
        // Every lookup ends within its lifetime, settled with what it knows.
        steady_.now += 3 * NanosecondsPerSecond;
        LookupBudget plenty(NanosecondsPerSecond);
        engine_.continueLookups(plenty, settled_);
        FUZZ_CHECK(!engine_.hasQueuedLookups(), "lookups left past their lifetime");
        FUZZ_CHECK(q_.askers.size() == 0 && q_.askers.waiting() == 0,
                   "askers left after every query was retired");
    }

    TrackingNetwork net_{UpstreamLink};
    test::FakeLog log_;
    test::FakeClock clock_;
    ProxyServices services_{net_, log_, clock_, nullptr};
    QueriesInFlight q_{test::testSeed()};
    test::FakeMonotonicClock steady_;
    test::FakeAttributionSystem system_;
    AskerEngine engine_{system_, steady_};
    LookupBudget budget_{NanosecondsPerMillisecond};
    Settled settled_{q_.askers};
    std::uint64_t nextInode_ = 1000;
    // Each number's last query forwarded, as it went upstream.
    std::unordered_map<std::uint16_t, std::vector<std::uint8_t>> forwarded_;
    std::array<ConnectionId, Clients> peers_{};
    std::array<std::optional<std::int32_t>, Clients> sendResults_{};
    // Counts up through the top of the signed range, so client keys turn negative.
    ConnectionId nextId_ = 0x7FFFFFFC;
    std::int64_t latest_ = test::FakeClock{}.now;
    std::size_t queryBudget_;
    std::size_t queries_ = 0;
};

}  // namespace corvane::fuzz
