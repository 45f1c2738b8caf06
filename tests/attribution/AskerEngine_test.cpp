#include "attribution/AskerEngine.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>

#include "tests/attribution/AttributionTestSupport.h"
#include "tests/support/FakeAttributionSystem.h"

namespace corvane {
namespace {

using test::ipv4;
using test::loopbackClient;

constexpr std::int64_t Millisecond = NanosecondsPerMillisecond;
constexpr std::int64_t Second = NanosecondsPerSecond;

class AskerEngineTest : public testing::Test {
public:
    AskerEngineTest() {
        system.clock = &clock;
        // A desktop's worth of other processes, each with descriptors, some
        // of them sockets: the holder has to be told from all of them.
        for (std::int32_t pid = 100; pid < 160; ++pid) {
            test::FakeProcess& other = system.processes[pid];
            other.owner = pid % 3 == 0 ? 0 : 1000;
            other.executable = "/usr/bin/other" + std::to_string(pid);
            for (int fd = 0; fd < 20; ++fd) {
                other.descriptors[fd] =
                    fd % 2 ? "/dev/null" : socketLinkText(90000 + pid * 100 + fd);
            }
        }
        test::FakeProcess& firefox = system.processes[2412];
        firefox.executable = "/usr/lib/firefox-esr/firefox-esr";
        firefox.comm = "firefox-esr";
        for (int fd = 0; fd < 30; ++fd) {
            firefox.descriptors[fd] = "/dev/null";
        }
    }

    // A new socket of pid at client port and descriptor fd, as the C
    // library makes for a query.
    ClientEndpoint newSocket(std::int32_t pid, int fd, std::uint16_t port,
                             std::uint32_t uid = 1000) {
        const ClientEndpoint endpoint = loopbackClient(port);
        const std::uint64_t inode = nextInode++;
        system.addSocket(endpoint.client, inode, uid);
        system.hold(pid, fd, inode);
        return endpoint;
    }

    Asker lookUpFully(const ClientEndpoint& endpoint) {
        LookupBudget plenty(10 * Second);
        return engine.lookUp(endpoint, plenty);
    }

    test::FakeMonotonicClock clock;
    test::FakeAttributionSystem system;
    AskerEngine engine{system, clock};
    test::RecordingSink sink;
    std::uint64_t nextInode = 5000;
};

TEST_F(AskerEngineTest, NamesTheProcessHoldingTheClientsSocket) {
    const Asker asker = lookUpFully(newSocket(2412, 25, 51234));
    EXPECT_TRUE(asker.settled);
    EXPECT_EQ(asker.state, AskerState::Process);
    EXPECT_EQ(asker.pid, 2412);
    EXPECT_EQ(asker.uid, 1000);
    EXPECT_EQ(asker.program, "firefox-esr");
}

// What is known, and nothing more, for each way a lookup can end.
struct Outcome {
    const char* what;
    std::function<ClientEndpoint(AskerEngineTest&, test::FakeAttributionSystem&)> arrange;
    AskerState state;
    std::int64_t uid;
    const char* program;
};

class AskerOutcome : public AskerEngineTest, public testing::WithParamInterface<Outcome> {};

TEST_P(AskerOutcome, SaysWhatItKnowsAndNeverGuesses) {
    const ClientEndpoint endpoint = GetParam().arrange(*this, system);
    const Asker asker = lookUpFully(endpoint);
    EXPECT_TRUE(asker.settled);
    EXPECT_EQ(asker.state, GetParam().state);
    EXPECT_EQ(asker.uid, GetParam().uid);
    EXPECT_EQ(asker.program, GetParam().program);
    EXPECT_EQ(asker.pid, asker.state == AskerState::Process ? 2412 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AskerOutcome,
    testing::Values(
        Outcome{"socket gone",
                [](AskerEngineTest&, test::FakeAttributionSystem&) { return loopbackClient(9); },
                AskerState::Unknown, -1, ""},
        Outcome{"lookup failed",
                [](AskerEngineTest& self, test::FakeAttributionSystem& s) {
                    s.socketLookupFails = true;
                    return self.newSocket(2412, 3, 9);
                },
                AskerState::Unknown, -1, ""},
        // A reply to another machine's port never reaches a socket here, even
        // one that listens on that port for anyone.
        Outcome{"another machine",
                [](AskerEngineTest&, test::FakeAttributionSystem& s) {
                    const ClientEndpoint remote = test::endpointOf(ipv4(192, 0, 2, 7), 40000);
                    s.addSocket(remote.client, 77, 1000);
                    s.hold(2412, 3, 77);
                    return remote;
                },
                AskerState::Remote, -1, ""},
        Outcome{"an address of an interface",
                [](AskerEngineTest&, test::FakeAttributionSystem& s) {
                    s.localAddresses.insert(ipv4(10, 0, 0, 5));
                    const ClientEndpoint local = test::endpointOf(ipv4(10, 0, 0, 5), 40000);
                    s.addSocket(local.client, 77, 1000);
                    s.hold(2412, 3, 77);
                    return local;
                },
                AskerState::Process, 1000, "firefox-esr"},
        Outcome{"another user's, unreadable",
                [](AskerEngineTest& self, test::FakeAttributionSystem& s) {
                    s.onlyReadableUid = 0;
                    return self.newSocket(2412, 3, 9);
                },
                AskerState::Owner, 1000, ""},
        Outcome{"held by no process found",
                [](AskerEngineTest&, test::FakeAttributionSystem& s) {
                    s.addSocket(loopbackClient(9).client, 77, 1000);
                    return loopbackClient(9);
                },
                AskerState::Owner, 1000, ""},
        Outcome{"held by a process of another owner",
                [](AskerEngineTest& self, test::FakeAttributionSystem& s) {
                    s.processes[2412].owner = 1001;
                    return self.newSocket(2412, 3, 9);
                },
                AskerState::Owner, 1000, ""},
        Outcome{"holder's descriptors unreadable",
                [](AskerEngineTest& self, test::FakeAttributionSystem& s) {
                    s.processes[2412].readable = false;
                    return self.newSocket(2412, 3, 9);
                },
                AskerState::Owner, 1000, ""},
        Outcome{"executable unreadable: comm",
                [](AskerEngineTest& self, test::FakeAttributionSystem& s) {
                    s.processes[2412].executable.clear();
                    return self.newSocket(2412, 3, 9);
                },
                AskerState::Process, 1000, "firefox-esr"},
        Outcome{"executable replaced on disk",
                [](AskerEngineTest& self, test::FakeAttributionSystem& s) {
                    s.processes[2412].executable = "/opt/tool/resolver-probe (deleted)";
                    return self.newSocket(2412, 3, 9);
                },
                AskerState::Process, 1000, "resolver-probe"},
        Outcome{"a TCP client",
                [](AskerEngineTest&, test::FakeAttributionSystem& s) {
                    const ClientEndpoint tcp = loopbackClient(9, IpProtocol::Tcp);
                    s.addSocket(tcp.client, 77, 1000);
                    s.hold(2412, 29, 77);
                    return tcp;
                },
                AskerState::Process, 1000, "firefox-esr"}),
    [](const auto& testCase) {
        std::string name = testCase.param.what;
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

TEST_F(AskerEngineTest, AskersFromAnotherMachineAreNeverLookedUp) {
    lookUpFully(test::endpointOf(ipv4(192, 0, 2, 7), 40000));
    EXPECT_EQ(system.socketLookups, 0);
}

TEST_F(AskerEngineTest, AClientKeepingItsSocketIsNamedFromTheCacheForASecond) {
    const ClientEndpoint endpoint = newSocket(2412, 25, 51234);
    lookUpFully(endpoint);
    const int lookups = system.socketLookups;
    const int opens = system.processOpens;

    clock.now += Second - 1;
    EXPECT_EQ(lookUpFully(endpoint).program, "firefox-esr");
    EXPECT_EQ(system.socketLookups, lookups);
    EXPECT_EQ(system.processOpens, opens);

    // A second on, the system is asked again; the same socket in the same
    // process is confirmed at the descriptor where it was, name unread.
    clock.now += 1;
    const int nameReads = system.nameReads;
    EXPECT_EQ(lookUpFully(endpoint).pid, 2412);
    EXPECT_EQ(system.socketLookups, lookups + 1);
    EXPECT_EQ(system.processOpens, opens + 1);
    EXPECT_EQ(system.nameReads, nameReads);
    EXPECT_EQ(system.listings, 1);
}

TEST_F(AskerEngineTest, ASocketGoneIsNotRememberedForTheNextClientOfItsPort) {
    const ClientEndpoint endpoint = loopbackClient(51234);
    EXPECT_EQ(lookUpFully(endpoint).state, AskerState::Unknown);
    newSocket(2412, 25, 51234);
    EXPECT_EQ(lookUpFully(endpoint).state, AskerState::Process);
}

// The C library's way: a new socket and port for every query, mostly under
// the same descriptor number.
TEST_F(AskerEngineTest, AProcessThatAskedRecentlyIsLookedInFirst) {
    lookUpFully(newSocket(2412, 25, 40001));
    const int listings = system.listings;
    const int opens = system.processOpens;
    const int links = system.linkReads;

    EXPECT_EQ(lookUpFully(newSocket(2412, 25, 40002)).pid, 2412);
    EXPECT_EQ(system.listings, listings);
    EXPECT_EQ(system.processOpens, opens + 1);
    EXPECT_EQ(system.linkReads, links + 1);

    // Another descriptor: of the processes listed before, only this one is
    // read, nearest the hint first.
    system.processes[2412].descriptors[25] = "/dev/null";
    const int ownerChecks = system.ownerChecks;
    EXPECT_EQ(lookUpFully(newSocket(2412, 27, 40003)).pid, 2412);
    EXPECT_EQ(system.ownerChecks, ownerChecks);
    EXPECT_LE(system.linkReads, links + 1 + 1 + 5);
}

// A script that runs a program for each query (getent, host): the asker is
// new every time, and is looked for first among the processes started since
// the last listing, whatever its pid.
TEST_F(AskerEngineTest, AProgramStartedSinceTheLastListingIsLookedInFirst) {
    lookUpFully(newSocket(2412, 25, 40001));
    test::FakeProcess& getent = system.processes[70];
    getent.executable = "/usr/bin/getent";
    for (int fd = 0; fd < 4; ++fd) {
        getent.descriptors[fd] = "/dev/null";
    }
    const int ownerChecks = system.ownerChecks;
    const int opens = system.processOpens;
    const Asker asker = lookUpFully(newSocket(70, 3, 40002));
    EXPECT_EQ(asker.program, "getent");
    EXPECT_EQ(system.ownerChecks, ownerChecks + 1);
    EXPECT_EQ(system.processOpens, opens + 2);  // the recent one's hint, then it
}

TEST_F(AskerEngineTest, ARecentNameIsNotGivenToTheProcessThatReusedItsPid) {
    lookUpFully(newSocket(2412, 25, 40001));
    // The program ends; a new one gets its pid and a socket under the same
    // descriptor.
    test::FakeProcess& next = system.processes[2412];
    next.startTime += 1;
    next.executable = "/usr/bin/curl";
    next.comm = "curl";
    const Asker asker = lookUpFully(newSocket(2412, 25, 40002));
    EXPECT_EQ(asker.pid, 2412);
    EXPECT_EQ(asker.program, "curl");
}

TEST_F(AskerEngineTest, AHolderThatEndsWhileBeingReadIsNotNamed) {
    const ClientEndpoint endpoint = newSocket(2412, 25, 40001);
    system.processes[2412].comm.clear();
    system.processes[2412].executable.clear();
    EXPECT_EQ(lookUpFully(endpoint).state, AskerState::Owner);
}

TEST_F(AskerEngineTest, NoCallRunsPastItsBudgetByMoreThanOneStep) {
    // Each read of the system costs 10 us; the holder, the oldest process,
    // is found last.
    system.costPerCall = 10'000;
    system.processes[42].executable = "/usr/sbin/old-daemon";
    const ClientEndpoint endpoint = newSocket(42, 0, 40001);
    std::int64_t before = clock.now;
    LookupBudget budget(Millisecond);
    const Asker first = engine.lookUp(endpoint, budget);
    // One step reads at most 32 descriptors, or checks 16 processes.
    const std::int64_t oneStep = 34 * system.costPerCall;
    EXPECT_LE(clock.now - before, Millisecond + oneStep);
    EXPECT_LT(budget.remaining(), oneStep);  // what is left holds no step
    EXPECT_FALSE(first.settled);
    EXPECT_EQ(first.state, AskerState::Owner);  // the socket's owner is known already
    EXPECT_TRUE(engine.hasQueuedLookups());

    int turns = 0;
    while (sink.delivered.empty() && turns < 1000) {
        LookupBudget turn(Millisecond);
        before = clock.now;
        engine.continueLookups(turn, sink);
        EXPECT_LE(clock.now - before, Millisecond + oneStep);
        ++turns;
    }
    EXPECT_GT(turns, 1);
    ASSERT_EQ(sink.delivered.size(), 1u);
    EXPECT_EQ(sink.delivered[0].first, endpoint.client);
    EXPECT_EQ(sink.delivered[0].second.pid, 42);
    EXPECT_TRUE(sink.delivered[0].second.settled);
    EXPECT_FALSE(engine.hasQueuedLookups());
}

TEST_F(AskerEngineTest, TheBudgetIsSharedAcrossTheCallsOfATurn) {
    system.costPerCall = 10'000;
    system.processes[42].executable = "/usr/sbin/old-daemon";
    LookupBudget turn(Millisecond);
    engine.lookUp(newSocket(42, 0, 40001), turn);
    ASSERT_LT(turn.remaining(), 34 * system.costPerCall);
    const int links = system.linkReads;
    // Too little left: a second client gets its socket lookup and nothing more.
    const Asker second = engine.lookUp(newSocket(42, 1, 40002), turn);
    EXPECT_FALSE(second.settled);
    EXPECT_EQ(system.linkReads, links);
    engine.continueLookups(turn, sink);
    EXPECT_EQ(system.linkReads, links);
}

// The socket lookup pins the client's socket at once: a port reused by
// another program afterwards does not take the first one's place.
TEST_F(AskerEngineTest, TheSocketIsPinnedAtTheFirstCallEvenWithoutBudget) {
    const ClientEndpoint endpoint = newSocket(2412, 25, 40001);
    LookupBudget none(0);
    EXPECT_FALSE(engine.lookUp(endpoint, none).settled);
    EXPECT_EQ(system.socketLookups, 1);

    system.processes[300].executable = "/usr/bin/intruder";
    system.addSocket(endpoint.client, 999, 1000);
    system.hold(300, 3, 999);
    LookupBudget plenty(Second);
    engine.continueLookups(plenty, sink);
    ASSERT_EQ(sink.delivered.size(), 1u);
    EXPECT_EQ(sink.delivered[0].second.pid, 2412);
}

TEST_F(AskerEngineTest, EachUnsettledClientIsDeliveredOnce) {
    system.costPerCall = 10'000;
    const ClientEndpoint a = newSocket(2412, 0, 40001);
    const ClientEndpoint b = newSocket(2412, 1, 40002);
    LookupBudget none(0);
    engine.lookUp(a, none);
    engine.lookUp(b, none);
    engine.lookUp(a, none);  // a second query of the same client
    // A lookUp with budget may settle a queued lookup itself: its answer is
    // returned, and still delivered for the queries that wait for it.
    LookupBudget plenty(10 * Second);
    EXPECT_TRUE(engine.lookUp(b, plenty).settled);
    engine.continueLookups(plenty, sink);
    engine.continueLookups(plenty, sink);
    ASSERT_EQ(sink.delivered.size(), 2u);
    EXPECT_EQ(sink.delivered[0].first, b.client);
    EXPECT_EQ(sink.delivered[1].first, a.client);
    EXPECT_EQ(sink.delivered[1].second.pid, 2412);
}

TEST_F(AskerEngineTest, ALookupThatOutlivesItsClientSettlesWithWhatItKnows) {
    const ClientEndpoint endpoint = newSocket(2412, 0, 40001);
    LookupBudget none(0);
    engine.lookUp(endpoint, none);
    clock.now += 2 * Second;
    LookupBudget turn(Millisecond);
    engine.continueLookups(turn, sink);
    ASSERT_EQ(sink.delivered.size(), 1u);
    EXPECT_EQ(sink.delivered[0].second.state, AskerState::Owner);
    EXPECT_EQ(sink.delivered[0].second.uid, 1000);
}

TEST_F(AskerEngineTest, LookupsBeyondTheQueuesRoomSettleAtOnce) {
    AttributionLimits limits;
    limits.maxQueued = 2;
    AskerEngine small(system, clock, limits);
    LookupBudget none(0);
    EXPECT_FALSE(small.lookUp(newSocket(2412, 0, 40001), none).settled);
    EXPECT_FALSE(small.lookUp(newSocket(2412, 1, 40002), none).settled);
    const Asker third = small.lookUp(newSocket(2412, 2, 40003), none);
    EXPECT_TRUE(third.settled);
    EXPECT_EQ(third.state, AskerState::Owner);
}

}  // namespace
}  // namespace corvane
