// The attribution engine against a system that changes under it: clients
// open and close sockets, processes end and their pids come back as other
// programs, children inherit sockets, time passes, and lookups run on
// budgets of every size. Whatever the order:
//   - a process is named only with its own program: never a name the pid
//     had before it was reused;
//   - a lookup that starts and settles within one call names a process
//     that holds the client's socket at that moment, by the program it
//     runs at that moment;
//   - every unsettled answer is followed by a delivery for its client, and
//     a client gets no more deliveries than it had unsettled answers;
//   - no call runs past its budget by more than one step.
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "FuzzCheck.h"
#include "attribution/AskerEngine.h"
#include "tests/support/FakeAttributionSystem.h"

namespace {

using namespace corvane;

constexpr std::int64_t StepCost = 10'000;  // every read of the system: 10 us
// One step reads at most 32 descriptors or checks 16 processes, then opens
// one, plus the reads that name a holder.
constexpr std::int64_t LongestStep = 40 * StepCost;
constexpr int Pids = 6;
constexpr int Ports = 8;

ClientEndpoint clientAt(std::uint8_t port) {
    return ClientEndpoint{ClientKey{IpProtocol::Udp, 0x0100007F, std::uint16_t(40000 + port)},
                          0x0100007F, 53};
}

std::string programOf(std::int32_t pid, std::uint64_t startTime) {
    return "p" + std::to_string(pid) + "s" + std::to_string(startTime);
}

class Sequence final : public AskerSink {
public:
    Sequence() {
        system.clock = &clock;
        system.costPerCall = StepCost;
        for (std::int32_t pid = 1; pid <= Pids; ++pid) {
            restart(pid);
        }
    }

    void attributed(const ClientKey& client, const Asker& asker) override {
        Deliveries& counts = deliveries[client.port];
        ++counts.delivered;
        counts.lastDelivered = ++moment;
        FUZZ_CHECK(counts.delivered <= counts.unsettled, "a delivery nobody waits for");
        FUZZ_CHECK(asker.settled, "an unsettled delivery");
        checkName(asker);
    }

    void run(const std::uint8_t* data, std::size_t size) {
        for (std::size_t i = 0; i + 2 < size; i += 3) {
            step(data[i] % 8, data[i + 1], data[i + 2]);
        }
        // Long after: every lookup has settled and been delivered.
        clock.now += 3 * NanosecondsPerSecond;
        LookupBudget plenty(NanosecondsPerSecond);
        engine.continueLookups(plenty, *this);
        for (const auto& [port, counts] : deliveries) {
            FUZZ_CHECK(counts.lastDelivered > counts.lastUnsettled, "a lookup never delivered");
        }
        FUZZ_CHECK(!engine.hasQueuedLookups(), "a lookup left queued");
    }

private:
    void step(int op, std::uint8_t a, std::uint8_t b) {
        const std::int32_t pid = 1 + a % Pids;
        const std::uint8_t port = b % Ports;
        switch (op) {
            case 0: {  // a new socket at port, held by pid at descriptor b / 8
                system.removeSocket(clientAt(port).client);
                system.addSocket(clientAt(port).client, ++inode, 1000 + (a >> 7));
                system.hold(pid, b / 8, inode);
                break;
            }
            case 1:  // the client at port closes its socket
                system.removeSocket(clientAt(port).client);
                break;
            case 2:  // pid ends; a new program gets its pid
                restart(pid);
                break;
            case 3:  // pid takes a copy of another's descriptors, as a child would
                system.processes[pid].descriptors = system.processes[1 + b % Pids].descriptors;
                break;
            case 4:
                clock.now += std::int64_t{a} * b * 50'000;
                break;
            case 5:
                lookUp(port, std::int64_t{a} * 20'000);
                break;
            case 6: {
                LookupBudget budget(std::int64_t{a} * 20'000);
                const std::int64_t before = clock.now;
                engine.continueLookups(budget, *this);
                FUZZ_CHECK(clock.now - before <= std::int64_t{a} * 20'000 + LongestStep,
                           "a turn ran past its budget");
                break;
            }
            case 7:  // a descriptor closed
                system.processes[pid].descriptors.erase(b / 8);
                break;
        }
    }

    void lookUp(std::uint8_t port, std::int64_t budgetNs) {
        const ClientEndpoint endpoint = clientAt(port);
        const int lookupsBefore = system.socketLookups;
        const std::int64_t before = clock.now;
        LookupBudget budget(budgetNs);
        const Asker asker = engine.lookUp(endpoint, budget);
        // The socket lookup always runs, and then whatever the budget holds.
        FUZZ_CHECK(clock.now - before <= budgetNs + LongestStep + 2 * StepCost,
                   "a lookup ran past its budget");
        if (!asker.settled) {
            Deliveries& counts = deliveries[endpoint.client.port];
            ++counts.unsettled;
            counts.lastUnsettled = ++moment;
            FUZZ_CHECK(asker.state == AskerState::Unknown || asker.state == AskerState::Owner,
                       "a name before the search ended");
            return;
        }
        checkName(asker);
        const bool searchedNow = system.socketLookups > lookupsBefore;
        if (searchedNow && asker.state == AskerState::Process) {
            checkHolds(endpoint, asker.pid, asker.program);
        }
    }

    void checkName(const Asker& asker) {
        if (asker.state != AskerState::Process) {
            FUZZ_CHECK(asker.pid == 0 && asker.program.empty(), "a name without a process");
            return;
        }
        const std::string prefix = "p" + std::to_string(asker.pid) + "s";
        FUZZ_CHECK(asker.program.starts_with(prefix), "a pid named after another process");
        FUZZ_CHECK(named.contains(asker.program), "a name no process had");
    }

    void checkHolds(const ClientEndpoint& endpoint, std::int32_t pid, const std::string& program) {
        SocketRecord record;
        FUZZ_CHECK(system.findSocket(endpoint, record) == SocketLookup::Found,
                   "named for a socket that is gone");
        const auto& descriptors = system.processes[pid].descriptors;
        bool holds = false;
        for (const auto& [fd, link] : descriptors) {
            holds = holds || link == socketLinkText(record.inode);
        }
        FUZZ_CHECK(holds, "named a process that does not hold the socket");
        const test::FakeProcess& process = system.processes[pid];
        FUZZ_CHECK(program == programOf(pid, process.startTime),
                   "named after the program its pid had before");
    }

    void restart(std::int32_t pid) {
        test::FakeProcess& process = system.processes[pid];
        process.startTime = ++startTime;
        process.descriptors.clear();
        process.owner = 1000 + (startTime % 2);
        process.executable = "/usr/bin/" + programOf(pid, process.startTime);
        process.comm = programOf(pid, process.startTime);
        named.insert(programOf(pid, process.startTime));
    }

    test::FakeMonotonicClock clock;
    test::FakeAttributionSystem system;
    AskerEngine engine{system, clock};
    struct Deliveries {
        int unsettled = 0;
        int delivered = 0;
        int lastUnsettled = 0;
        int lastDelivered = 0;
    };
    std::map<std::uint16_t, Deliveries> deliveries;  // by client port
    int moment = 0;
    std::set<std::string> named;
    std::uint64_t inode = 1000;
    std::uint64_t startTime = 100;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Sequence sequence;
    sequence.run(data, size);
    return 0;
}
