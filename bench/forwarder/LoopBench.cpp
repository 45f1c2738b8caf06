// The forwarder's own work per query, without the kernel: the real main loop
// turn, query and answer paths, tables and log (file included) driven by an
// in-memory network that always has a query waiting and answers every
// forwarded query at once. Prints the time per query (one query and its
// answer: two turns' worth of polls, two log lines).
//
//   loop_bench [--window] [--askers] [QUERIES]
//   loop_bench --parts [COUNT]        (default 2,000,000; at most 100,000,000)
//
// --window adds the main window's share: a shown window (Qt's offscreen
// platform unless QT_QPA_PLATFORM says otherwise) whose log view gets every
// line, and the window's event poll in every turn, painting included.
// --askers names who asked every query, as the program does: the real
// attribution engine on a system held in memory (tests/support), where each
// client's socket is held by a process of its own, so that a query costs
// what a client that keeps its socket costs (the engine's cache) and the
// lines carry their askers to the log view.
// --parts measures instead what keeping answers from being forged costs a
// query: drawing and holding a free upstream number while a thousand are
// held, and the digest of a question section (a query takes one of each, its
// answer one more digest).
//
// Writes log.log into a temporary folder, removed at the end.
#include <unistd.h>

#include <QApplication>
#include <QHBoxLayout>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "attribution/AskerEngine.h"
#include "attribution/MonotonicClock.h"
#include "log/Clock.h"
#include "log/Logger.h"
#include "net/Network.h"
#include "proxy/HeldNumbers.h"
#include "proxy/ProxyLoop.h"
#include "proxy/QuestionDigest.h"
#include "proxy/RandomStream.h"
#include "tests/support/FakeAttributionSystem.h"
#include "ui/EventPoll.h"
#include "ui/Font.h"
#include "ui/LogViewSink.h"
#include "ui/LogViewWidget.h"
#include "ui/LoopDispatcher.h"

namespace {

using corvane::ConnectionId;
using corvane::ListenerHandle;
using corvane::NetEvent;

// Several clients, each asking names in turn; the upstream answers whatever
// it is sent, immediately, with the query's bytes plus a 16-byte record.
class InMemoryNetwork final : public corvane::Network {
public:
    static constexpr ConnectionId Link = 1;
    static constexpr ListenerHandle Listener = 7;
    static constexpr ConnectionId FirstClient = 100;
    static constexpr int Clients = 8;
    static constexpr std::uint32_t Loopback = 0x0100007F;  // network byte order

    explicit InMemoryNetwork(long long queries) : queriesLeft_(queries) {
        const char* labels[] = {"www", "mail", "api", "cdn", "static", "login"};
        const char* tlds[] = {"com", "net", "org", "io", "de"};
        for (int i = 0; i < 512; ++i) {
            std::vector<std::uint8_t> q = {0, 0, 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
            auto label = [&q](const std::string& text) {
                q.push_back(static_cast<std::uint8_t>(text.size()));
                q.insert(q.end(), text.begin(), text.end());
            };
            if (i % 3 != 0) {
                label(labels[i % 6]);
            }
            std::string middle;
            for (int j = 0; j < 4 + i % 9; ++j) {
                middle.push_back(static_cast<char>('a' + (i * 7 + j * 13) % 26));
            }
            label(middle);
            label(tlds[i % 5]);
            q.insert(q.end(), {0, 0, 1, 0, 1});
            queries_.push_back(std::move(q));
        }
    }

    long long answered() const { return answered_; }
    const std::vector<std::vector<std::uint8_t>>& queries() const { return queries_; }
    bool done() const { return queriesLeft_ == 0 && upstream_.empty(); }

    int netStartup() override { return 1; }
    void netShutdown() override {}
    // UDP only: a TCP listener would be polled by the loop too, and every
    // poll here hands out a query, which the TCP side would take for bytes
    // of a connection it never accepted and drop.
    ListenerHandle listenerOpen(std::int32_t, std::int64_t, std::uint32_t mode,
                                std::string_view) override {
        return mode == corvane::Datagram ? Listener : 0;
    }
    NetEvent listenerPoll(ListenerHandle) override {
        if (queriesLeft_ == 0) {
            return NetEvent::None;
        }
        --queriesLeft_;
        const auto& q = queries_[static_cast<std::size_t>(next_++) % queries_.size()];
        pending_.assign(q.begin(), q.end());
        pending_[0] = static_cast<std::uint8_t>(next_ >> 8);
        pending_[1] = static_cast<std::uint8_t>(next_);
        lastPeer_ = FirstClient + static_cast<ConnectionId>(next_ % Clients);
        return NetEvent::Data;
    }
    ConnectionId listenerLastPeer() const override { return lastPeer_; }
    void listenerClose(ListenerHandle) override {}
    ConnectionId linkOpen(std::string_view, std::int64_t, std::uint32_t, std::int32_t,
                          std::string_view, std::int32_t) override {
        return Link;
    }
    NetEvent linkPoll(ConnectionId) override {
        if (upstream_.empty()) {
            return NetEvent::None;
        }
        answer_ = std::move(upstream_.front());
        upstream_.pop_front();
        return NetEvent::Data;
    }
    std::int32_t connRecv(ConnectionId id, std::uint8_t* buffer, std::int32_t capacity) override {
        std::vector<std::uint8_t>& from = id == Link ? answer_ : pending_;
        const auto n = std::min<std::int32_t>(capacity, static_cast<std::int32_t>(from.size()));
        std::memcpy(buffer, from.data(), static_cast<std::size_t>(n));
        from.clear();
        return n;
    }
    std::int32_t connSend(ConnectionId id, const std::uint8_t* data, std::int32_t length) override {
        if (id == Link) {
            std::vector<std::uint8_t> answer;
            if (!spare_.empty()) {
                answer = std::move(spare_.back());
                spare_.pop_back();
            }
            answer.assign(data, data + length);
            answer[2] |= 0x80;
            answer[7] = 1;
            static const std::uint8_t record[16] = {0xC0, 0x0C, 0, 1, 0,   1, 0, 0,
                                                    0,    60,   0, 4, 192, 0, 2, 10};
            answer.insert(answer.end(), record, record + sizeof record);
            upstream_.push_back(std::move(answer));
        } else {
            ++answered_;
        }
        return length;
    }
    std::int32_t connSendParts(ConnectionId, std::span<const std::uint8_t>,
                               std::span<const std::uint8_t>) override {
        return -1;
    }
    void connClose(ConnectionId) override {}
    std::int32_t linkLastLength(ConnectionId) const override { return 0; }
    std::int32_t connPendingOutput(ConnectionId) const override { return 0; }
    std::uint32_t connRemoteHost(ConnectionId) const override { return 0; }
    // Each client at 127.0.0.1, port 40000 and up, asking 127.0.0.1:53.
    bool connEnds(ConnectionId id, corvane::PeerEnds& out) const override {
        if (id < FirstClient || id >= FirstClient + Clients) {
            return false;
        }
        out = {Loopback, static_cast<std::uint16_t>(40000 + (id - FirstClient)), Loopback, 53};
        return true;
    }
    void waitReady(std::int32_t) override {}

private:
    long long queriesLeft_;
    long long next_ = 0;
    long long answered_ = 0;
    ConnectionId lastPeer_ = 0;
    std::vector<std::vector<std::uint8_t>> queries_;
    std::vector<std::uint8_t> pending_;
    std::vector<std::uint8_t> answer_;
    std::deque<std::vector<std::uint8_t>> upstream_;
    std::vector<std::vector<std::uint8_t>> spare_;
};

// Closes once every query is answered; with a window, polls it every turn
// as the program does.
class BenchWindow final : public corvane::WindowPoll {
public:
    BenchWindow(const InMemoryNetwork& net, bool polled) : net_(net), polled_(polled) {}
    std::int32_t eventPoll() override {
        if (net_.done()) {
            return corvane::CloseEvent;
        }
        return polled_ ? corvane::eventPoll() : 0;
    }
    void waitIdle(int, std::int32_t) override {}

private:
    const InMemoryNetwork& net_;
    bool polled_;
};

struct ShownWindow {
    QWidget top;
    corvane::LogViewWidget* view;
    ShownWindow() {
        auto* layout = new QHBoxLayout(&top);
        view = new corvane::LogViewWidget;
        layout->addWidget(view);
        top.resize(600, 360);
        top.show();
    }
};

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Nanoseconds of CPU per call of step, over count calls.
template <typename Step>
double nsPerCall(long long count, Step step) {
    const double start = cpuSeconds();
    for (long long i = 0; i < count; ++i) {
        step(i);
    }
    return (cpuSeconds() - start) * 1e9 / static_cast<double>(count);
}

int measureParts(long long count) {
    corvane::RandomSeed seed{};
    seed[0] = 1;
    corvane::RandomStream random(seed);
    const auto held = std::make_unique<corvane::HeldNumbers>();
    for (int i = 0; i < 1000; ++i) {
        held->take(*held->drawFree(random));
    }
    std::uint64_t sink = 0;
    const double drawNs = nsPerCall(count, [&](long long) {
        const std::uint16_t number = *held->drawFree(random);
        held->take(number);
        held->release(number);
        sink += number;
    });
    const InMemoryNetwork net(0);
    const auto& queries = net.queries();
    const corvane::SipHashKey key{random.next64(), random.next64()};
    const double digestNs = nsPerCall(count, [&](long long i) {
        const auto& q = queries[static_cast<std::size_t>(i) % queries.size()];
        sink +=
            corvane::questionDigest(q.data(), static_cast<std::int32_t>(q.size()), key).value_or(0);
    });
    std::printf("parts: draw and hold a free number %.1f ns, question digest %.1f ns%s\n", drawNs,
                digestNs, sink == 0 ? " (nothing drawn?)" : "");
    return 0;
}

// The system as attribution reads it, in memory: each client's socket held
// by a process of its own.
struct BenchAttribution {
    corvane::test::FakeAttributionSystem system;
    corvane::SteadyClock clock;
    corvane::AskerEngine engine{system, clock};

    BenchAttribution() {
        for (int client = 0; client < InMemoryNetwork::Clients; ++client) {
            const corvane::ClientKey key{corvane::IpProtocol::Udp, InMemoryNetwork::Loopback,
                                         static_cast<std::uint16_t>(40000 + client)};
            const auto inode = static_cast<std::uint64_t>(5000 + client);
            system.addSocket(key, inode, 1000);
            system.hold(2000 + client, 3, inode);
            system.processes[2000 + client].executable = "/usr/bin/bench-client";
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    bool withWindow = false;
    bool withAskers = false;
    bool parts = false;
    long long requested = 2'000'000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--window") == 0) {
            withWindow = true;
        } else if (std::strcmp(argv[i], "--askers") == 0) {
            withAskers = true;
        } else if (std::strcmp(argv[i], "--parts") == 0) {
            parts = true;
        } else {
            requested = std::atoll(argv[i]);
        }
    }
    const long long queries = std::clamp(requested, 1LL, 100'000'000LL);
    if (parts) {
        return measureParts(queries);
    }
    std::unique_ptr<QApplication> app;
    std::unique_ptr<ShownWindow> window;
    std::unique_ptr<corvane::LogViewSink> sink;
    if (withWindow) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        // The event dispatcher the program chooses for itself.
        corvane::LoopDispatcher::install();
        app = std::make_unique<QApplication>(argc, argv);
        corvane::defaultFontSet(corvane::fontOpen(u"Consolas", 10));
        window = std::make_unique<ShownWindow>();
        while (corvane::eventPoll() != 0) {
        }
        sink = std::make_unique<corvane::LogViewSink>(window->view);
    }
    char folder[] = "/tmp/corvane-loop-bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string logPath = std::string(folder) + "/log.log";
    double wall = 0;
    double cpu = 0;
    long long answered = 0;
    {
        corvane::SystemClock clock;
        corvane::Logger logger(clock, logPath);
        logger.setView(sink.get());
        InMemoryNetwork net(queries);
        BenchWindow poll(net, withWindow);
        // The numbers the loop draws need no secret here.
        corvane::ProxyLoop loop(net, logger, clock, poll, corvane::RandomSeed{});
        std::unique_ptr<BenchAttribution> attribution;
        if (withAskers) {
            attribution = std::make_unique<BenchAttribution>();
            loop.setAttribution(attribution->engine);
        }
        loop.startNetwork({53, "8.8.8.8", 53});
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuSeconds();
        loop.run();
        cpu = cpuSeconds() - cpuStart;
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        answered = net.answered();
        loop.shutdownNetwork();
    }
    std::error_code ignored;
    const auto logBytes = std::filesystem::file_size(logPath, ignored);
    std::filesystem::remove_all(folder, ignored);
    std::printf(
        "%s%squeries %lld answered %lld: %.1f ns/query wall, %.1f ns/query CPU, log %.1f MB\n",
        withWindow ? "window: " : "", withAskers ? "askers: " : "", queries, answered,
        wall * 1e9 / static_cast<double>(queries), cpu * 1e9 / static_cast<double>(queries),
        static_cast<double>(logBytes) / 1e6);
    return answered == queries ? 0 : 1;
}
