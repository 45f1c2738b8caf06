#include "attribution/QueryClient.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/attribution/AttributionTestSupport.h"
#include "tests/support/FakeAttributionSystem.h"

namespace corvane {
namespace {

using test::ipv4;

class QueryClientTest : public testing::Test {
protected:
    QueryClientTest() {
        test::FakeProcess& process = system.processes[2412];
        process.executable = "/usr/bin/caf\xC3\xA9-\xFF";
        system.addSocket(udp.client, 77, 1000);
        system.hold(2412, 4, 77);
    }

    static CorvaneAsker blankAsker() {
        CorvaneAsker out{};
        out.size = sizeof out;
        out.pid = -5;
        out.uid = -5;
        out.program = nullptr;
        return out;
    }

    test::FakeMonotonicClock clock;
    test::FakeAttributionSystem system;
    AskerEngine engine{system, clock};
    LookupBudget budget{NanosecondsPerMillisecond};
    const ClientEndpoint udp = test::endpointOf(ipv4(127, 0, 0, 1), 51234);
};

TEST_F(QueryClientTest, DescribesTheClientWithoutLookingItUp) {
    const QueryClient client(engine, test::endpointOf(ipv4(192, 0, 2, 7), 40000, IpProtocol::Tcp),
                             budget);
    const CorvaneQueryClient* view = client.view();
    EXPECT_EQ(view->size, sizeof(CorvaneQueryClient));
    EXPECT_EQ(view->transport, CORVANE_TRANSPORT_TCP);
    EXPECT_EQ(view->family, 4);
    EXPECT_EQ(view->port, 40000);
    const std::uint8_t address[16] = {192, 0, 2, 7};
    EXPECT_EQ(std::memcmp(view->address, address, sizeof address), 0);
    EXPECT_NE(view->asker, nullptr);
    EXPECT_EQ(system.socketLookups, 0);
    EXPECT_FALSE(client.asked());
    EXPECT_EQ(QueryClient(engine, udp, budget).view()->transport, CORVANE_TRANSPORT_UDP);
}

TEST_F(QueryClientTest, NamesTheAskerOnceForAllNamesOfTheQuery) {
    const QueryClient client(engine, udp, budget);
    const CorvaneQueryClient* view = client.view();
    CorvaneAsker out = blankAsker();
    ASSERT_EQ(view->asker(view, &out), 1);
    EXPECT_EQ(out.pid, 2412);
    EXPECT_EQ(out.uid, 1000);
    EXPECT_EQ(std::u16string_view(out.program), u"caf\u00E9-\uFFFD");

    // The second name's call answers from the first, through a copy too.
    const CorvaneQueryClient copy = *view;
    CorvaneAsker again = blankAsker();
    ASSERT_EQ(copy.asker(&copy, &again), 1);
    EXPECT_EQ(again.program, out.program);
    EXPECT_EQ(system.socketLookups, 1);
    ASSERT_TRUE(client.asked());
    EXPECT_EQ(client.asked()->pid, 2412);
}

TEST_F(QueryClientTest, SaysWhatIsKnownWhenTheProgramIsNot) {
    system.onlyReadableUid = 0;
    const QueryClient owner(engine, udp, budget);
    CorvaneAsker out = blankAsker();
    EXPECT_EQ(owner.view()->asker(owner.view(), &out), 0);
    EXPECT_EQ(out.pid, 0);
    EXPECT_EQ(out.uid, 1000);
    EXPECT_EQ(std::u16string_view(out.program), u"");

    const QueryClient remote(engine, test::endpointOf(ipv4(192, 0, 2, 7), 40000), budget);
    out = blankAsker();
    EXPECT_EQ(remote.view()->asker(remote.view(), &out), 0);
    EXPECT_EQ(out.pid, 0);
    EXPECT_EQ(out.uid, -1);
    EXPECT_EQ(std::u16string_view(out.program), u"");
}

TEST_F(QueryClientTest, RefusesACallItCannotAnswerSafely) {
    const QueryClient client(engine, udp, budget);
    const CorvaneQueryClient* view = client.view();
    EXPECT_EQ(view->asker(view, nullptr), -1);
    EXPECT_EQ(view->asker(nullptr, nullptr), -1);
    // Built against a smaller structure than the first version: not written.
    CorvaneAsker small = blankAsker();
    small.size = offsetof(CorvaneAsker, program);
    EXPECT_EQ(view->asker(view, &small), -1);
    EXPECT_EQ(small.pid, -5);
    EXPECT_EQ(small.program, nullptr);
    EXPECT_EQ(system.socketLookups, 0);
}

}  // namespace
}  // namespace corvane
