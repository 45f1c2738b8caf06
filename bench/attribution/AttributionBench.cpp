// Measures what naming the asker of a query costs, on this machine's kernel
// and /proc, with helper processes standing in for a busy desktop: N
// processes of M sockets each, plus one that asks. Prints the figures;
// asserts nothing about speed.
//
//   attribution_bench [--processes N] [--descriptors M] [--queries Q]
//
// The cases:
//   kept socket   a client that keeps its socket, asking again and again:
//                 the cache's answer
//   new socket    a client that opens a new socket for every query, as the
//                 C library does: the kernel's lookup and the process that
//                 asked last, at the descriptor it used last
//   new process   a new process for every query, as a script that runs
//                 getent does: the processes started since the last
//                 listing of them, first
//   cold          a new engine for every query: the kernel's lookup and a
//                 scan of every process of the socket's owner, the asker
//                 being older than all the helpers, so read after them
//   budgeted      the cold case at 1 ms a call, as the program runs it: the
//                 longest single call, and the turns it took
// Run as root, every root process of the machine is scanned in the cold
// case too, which is the worst case a desktop sees.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HelperProcesses.h"
#include "attribution/AskerEngine.h"
#include "attribution/MonotonicClock.h"
#include "attribution/SystemAttribution.h"
#include "net/UniqueFd.h"

namespace {

using namespace corvane;

constexpr int MaxProcesses = 2000;
constexpr int MaxDescriptors = 1000;
constexpr int MaxQueries = 1'000'000;

struct Options {
    int processes = 200;
    int descriptors = 50;
    int queries = 2000;
};

bool readOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--processes") == 0 && value >= 0 && value <= MaxProcesses) {
            options.processes = value;
        } else if (std::strcmp(argv[i], "--descriptors") == 0 && value >= 0 &&
                   value <= MaxDescriptors) {
            options.descriptors = value;
        } else if (std::strcmp(argv[i], "--queries") == 0 && value > 0 && value <= MaxQueries) {
            options.queries = value;
        } else {
            return false;
        }
    }
    return argc % 2 == 1;
}

std::int64_t threadNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::int64_t{now.tv_sec} * NanosecondsPerSecond + now.tv_nsec;
}

// Figures of a series of calls, in microseconds.
struct Series {
    std::vector<double> wall;
    std::vector<double> processor;
    int named = 0;
    int lookups = 0;  // calls, unless a lookup took several

    void add(std::int64_t wallNs, std::int64_t cpuNs, bool wasNamed) {
        wall.push_back(static_cast<double>(wallNs) / 1000.0);
        processor.push_back(static_cast<double>(cpuNs) / 1000.0);
        named += wasNamed ? 1 : 0;
        ++lookups;
    }
    static double average(const std::vector<double>& values) {
        double sum = 0;
        for (const double v : values) {
            sum += v;
        }
        return values.empty() ? 0 : sum / static_cast<double>(values.size());
    }
    static double percentile(std::vector<double> values, double share) {
        if (values.empty()) {
            return 0;
        }
        std::sort(values.begin(), values.end());
        const auto at = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
        return values[at];
    }
    void print(const char* name) const {
        std::printf("%-12s %8zu %10.2f %10.2f %10.2f %10.2f %10.2f %10.2f %7.1f%%\n", name,
                    wall.size(), average(processor), percentile(processor, 0.5),
                    percentile(processor, 1.0), percentile(wall, 0.5), percentile(wall, 0.99),
                    percentile(wall, 1.0),
                    lookups == 0 ? 0.0 : 100.0 * named / static_cast<double>(lookups));
    }
};

class NullSink final : public AskerSink {
public:
    bool delivered = false;
    Asker asker;
    void attributed(const ClientKey&, const Asker& answer) override {
        delivered = true;
        asker = answer;
    }
};

ClientEndpoint endpointOf(std::uint16_t clientPort, std::uint16_t serverPort) {
    const std::uint32_t loopback = htonl(INADDR_LOOPBACK);
    return ClientEndpoint{ClientKey{IpProtocol::Udp, loopback, clientPort}, loopback, serverPort};
}

// One lookup, timed, with a budget that never runs out.
void timeLookup(AskerEngine& engine, const ClientEndpoint& endpoint, const MonotonicClock& clock,
                Series& series) {
    LookupBudget plenty(60 * NanosecondsPerSecond);
    const std::int64_t cpu = threadNanoseconds();
    const std::int64_t wall = clock.nanoseconds();
    const Asker asker = engine.lookUp(endpoint, plenty);
    series.add(clock.nanoseconds() - wall, threadNanoseconds() - cpu,
               asker.state == AskerState::Process);
}

// The cold lookup as the program runs it: 1 ms a call, a turn at a time.
void timeBudgeted(AskerEngine& engine, const ClientEndpoint& endpoint, const MonotonicClock& clock,
                  Series& calls, std::vector<int>& turns) {
    NullSink sink;
    LookupBudget first(NanosecondsPerMillisecond);
    std::int64_t start = clock.nanoseconds();
    std::int64_t cpu = threadNanoseconds();
    Asker asker = engine.lookUp(endpoint, first);
    calls.add(clock.nanoseconds() - start, threadNanoseconds() - cpu, false);
    const int lookupsBefore = calls.lookups;
    int turn = 1;
    while (!asker.settled && !sink.delivered && turn < 100000) {
        LookupBudget budget(NanosecondsPerMillisecond);
        start = clock.nanoseconds();
        cpu = threadNanoseconds();
        engine.continueLookups(budget, sink);
        calls.add(clock.nanoseconds() - start, threadNanoseconds() - cpu, false);
        ++turn;
    }
    turns.push_back(turn);
    calls.lookups = lookupsBefore;  // one lookup, however many calls
    const Asker& settled = sink.delivered ? sink.asker : asker;
    calls.named += settled.state == AskerState::Process ? 1 : 0;
}

// A client that keeps its socket: the cache's answer, timed over many calls
// at once, since one call takes less than reading the processor clock does.
void timeKept(AskerEngine& engine, const ClientEndpoint& endpoint, const MonotonicClock& clock,
              int calls) {
    LookupBudget plenty(60 * NanosecondsPerSecond);
    engine.lookUp(endpoint, plenty);  // found once; answered from the cache after
    int named = 0;
    const std::int64_t cpu = threadNanoseconds();
    const std::int64_t wall = clock.nanoseconds();
    for (int i = 0; i < calls; ++i) {
        named += engine.lookUp(endpoint, plenty).state == AskerState::Process ? 1 : 0;
    }
    const double cpuUs = static_cast<double>(threadNanoseconds() - cpu) / 1000.0 / calls;
    const double wallUs = static_cast<double>(clock.nanoseconds() - wall) / 1000.0 / calls;
    std::printf("%-12s %8d %10.3f %10s %10s %10.3f %10s %10s %7.1f%%\n", "kept socket", calls,
                cpuUs, "-", "-", wallUs, "-", "-", 100.0 * named / calls);
}

void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!readOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--processes N<=%d] [--descriptors M<=%d] [--queries Q]\n",
                     argv[0], MaxProcesses, MaxDescriptors);
        return 2;
    }
    raiseDescriptorLimit();

    UniqueFd server(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(server.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("server socket");
        return 1;
    }
    const std::uint16_t serverPort = ntohs(address.sin_port);

    // The one that asks is started first, so that the helpers are all newer:
    // a scan, newest first, reads every one of them before it.
    bench::AskingHelper asking(serverPort, options.descriptors);
    bench::HelperProcesses helpers(options.processes, options.descriptors);
    SteadyClock clock;
    SystemAttribution system(clock);
    std::vector<std::int32_t> pids;
    system.listProcesses(pids);
    std::printf(
        "attribution_bench: %d helper processes of %d sockets, %zu processes in all, "
        "uid %u, %d queries a case\n",
        helpers.started(), options.descriptors, pids.size(), geteuid(), options.queries);

    AskerEngine engine(system, clock);
    Series renewed;
    Series warmUp;  // the first query finds the asker cold; the case starts after
    timeLookup(engine, endpointOf(asking.renewSocket(), serverPort), clock, warmUp);
    for (int i = 0; i < options.queries; ++i) {
        timeLookup(engine, endpointOf(asking.renewSocket(), serverPort), clock, renewed);
    }

    const int coldQueries = std::max(1, options.queries / 20);
    Series newProcess;
    for (int i = 0; i < coldQueries; ++i) {
        bench::AskingHelper once(serverPort, options.descriptors);
        timeLookup(engine, endpointOf(once.renewSocket(), serverPort), clock, newProcess);
    }
    Series cold;
    Series budgeted;
    std::vector<int> turns;
    for (int i = 0; i < coldQueries; ++i) {
        AskerEngine fresh(system, clock);
        timeLookup(fresh, endpointOf(asking.renewSocket(), serverPort), clock, cold);
    }
    for (int i = 0; i < coldQueries; ++i) {
        AskerEngine fresh(system, clock);
        timeBudgeted(fresh, endpointOf(asking.renewSocket(), serverPort), clock, budgeted, turns);
    }

    std::printf("\n%-12s %8s %10s %10s %10s %10s %10s %10s %8s\n", "case", "calls", "cpu avg",
                "cpu median", "cpu max", "median", "p99", "max", "named");
    std::printf("%-12s %8s %10s %10s %10s %10s %10s %10s %8s\n", "", "", "(us)", "(us)", "(us)",
                "(us)", "(us)", "(us)", "");
    // Within the second the cache trusts an answer: the trust time ends
    // what this measures.
    timeKept(engine, endpointOf(asking.renewSocket(), serverPort), clock,
             std::min(options.queries * 100, 200'000));
    renewed.print("new socket");
    newProcess.print("new process");
    cold.print("cold");
    budgeted.print("budgeted");
    std::sort(turns.begin(), turns.end());
    std::printf("\nbudgeted: %d lookups, %d named, turns per lookup median %d, max %d\n",
                coldQueries, budgeted.named, turns.empty() ? 0 : turns[turns.size() / 2],
                turns.empty() ? 0 : turns.back());
    std::printf("new socket at 200 queries a second: %.3f %% of a core\n",
                Series::average(renewed.processor) * 200.0 / 1e6 * 100.0);
    return 0;
}
