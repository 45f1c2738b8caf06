#include "attribution/AskerStore.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "tests/attribution/AttributionTestSupport.h"
#include "ui/LineAskers.h"

namespace corvane {
namespace {

using test::loopbackClient;

Asker waitingOwner(std::int64_t uid) {
    Asker asker;
    asker.state = AskerState::Owner;
    asker.uid = uid;
    asker.settled = false;
    return asker;
}

Asker process(std::int32_t pid, std::string program) {
    Asker asker;
    asker.state = AskerState::Process;
    asker.pid = pid;
    asker.uid = 1000;
    asker.program = std::move(program);
    return asker;
}

// The store against a plain model, through random keeps, releases and
// settles over a few clients, so that the waiting lists are joined and cut
// at their heads, middles and tails: every live entry must hold what the
// model says, and a settle must reach exactly the waiting entries of its
// client.
TEST(AskerStore, AgreesWithAModelThroughRandomKeepsReleasesAndSettles) {
    struct Expected {
        ClientKey client;
        Asker asker;
    };
    std::mt19937 random(2412);
    AskerStore store;
    std::map<AskerStore::Handle, Expected> model;
    const ClientKey clients[] = {loopbackClient(1).client, loopbackClient(2).client,
                                 loopbackClient(2, IpProtocol::Tcp).client};
    for (int step = 0; step < 20000; ++step) {
        const ClientKey& client = clients[random() % 3];
        const auto action = random() % 10;
        if (action < 5 || model.empty()) {
            const Asker asker =
                random() % 2 == 0
                    ? waitingOwner(step)
                    : process(step, "program-with-a-long-name-" + std::to_string(step));
            const AskerStore::Handle handle = store.keep(client, asker);
            ASSERT_NE(handle, AskerStore::NoHandle);
            ASSERT_FALSE(model.contains(handle)) << "a live handle handed out again";
            model[handle] = {client, asker};
        } else if (action < 8) {
            auto victim = model.begin();
            std::advance(victim, static_cast<long>(random() % model.size()));
            store.release(victim->first);
            model.erase(victim);
        } else {
            const Asker settled = process(-step, "settled");
            store.settle(client, settled);
            for (auto& [handle, expected] : model) {
                if (expected.client == client && !expected.asker.settled) {
                    expected.asker = settled;
                }
            }
        }
        std::size_t waiting = 0;
        for (const auto& [handle, expected] : model) {
            const Asker* held = store.asker(handle);
            ASSERT_NE(held, nullptr);
            ASSERT_EQ(held->pid, expected.asker.pid) << "step " << step;
            ASSERT_EQ(held->settled, expected.asker.settled);
            ASSERT_EQ(held->program, expected.asker.program);
            ASSERT_EQ(*store.client(handle), expected.client);
            waiting += expected.asker.settled ? 0 : 1;
        }
        ASSERT_EQ(store.size(), model.size());
        ASSERT_EQ(store.waiting(), waiting);
    }
}

TEST(AskerStore, ReleasedAndUnknownHandlesFindNothingAndChangeNothing) {
    AskerStore store;
    const ClientKey client = loopbackClient(7).client;
    const AskerStore::Handle first = store.keep(client, waitingOwner(1));
    store.release(first);
    store.release(first);
    store.release(AskerStore::NoHandle);
    store.release(12345);
    EXPECT_EQ(store.asker(first), nullptr);
    EXPECT_EQ(store.client(AskerStore::NoHandle), nullptr);
    EXPECT_EQ(store.size(), 0u);
    EXPECT_EQ(store.waiting(), 0u);
    // A released waiter is not settled: nothing of it is left to reach.
    store.settle(client, process(9, "late"));
    const AskerStore::Handle second = store.keep(client, waitingOwner(2));
    store.settle(client, process(3, "now"));
    EXPECT_EQ(store.asker(second)->pid, 3);
    // A settled entry stays as it was through a later settle of its client.
    store.settle(client, process(4, "later"));
    EXPECT_EQ(store.asker(second)->program, "now");
}

// The log view's askers: every serial the view may still show finds its own
// asker, never a newer line's whose entry reused the slot.
TEST(LineAskers, ASerialFindsItsOwnAskerOrNothingOnceOutOfRange) {
    LineAskers askers(4);
    std::uint64_t serials[7];
    for (int i = 0; i < 7; ++i) {
        serials[i] = askers.add(loopbackClient(static_cast<std::uint16_t>(100 + i)).client,
                                process(i + 1, "p" + std::to_string(i)));
        ASSERT_NE(serials[i], 0u);
    }
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(askers.asker(serials[i]), nullptr) << "serial " << serials[i];
    }
    for (int i = 3; i < 7; ++i) {
        ASSERT_NE(askers.asker(serials[i]), nullptr);
        EXPECT_EQ(askers.asker(serials[i])->pid, i + 1);
        EXPECT_EQ(askers.client(serials[i])->port, 100 + i);
    }
    EXPECT_EQ(askers.asker(0), nullptr);
    EXPECT_EQ(askers.asker(serials[6] + 1), nullptr);
}

}  // namespace
}  // namespace corvane
