// The descriptor of the idle wait: it must wake for every socket the layer
// holds, and keep doing so when sockets come and go under reused numbers.
#include <poll.h>

#include <gtest/gtest.h>

#include "ListenerAndLinkFixture.h"

namespace corvane::test {
namespace {

bool readable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) == 1 && (entry.revents & POLLIN) != 0;
}

class IdleWaitTest : public ListenerAndLinkFixture {
protected:
    // The descriptor for a wait that may begin: nothing is due now.
    int quietDescriptor() {
        const IdleWait wait = net.prepareIdleWait();
        EXPECT_FALSE(wait.eventDue);
        EXPECT_GE(wait.descriptor, 0);
        EXPECT_FALSE(readable(wait.descriptor, 0)) << "quiet sockets, yet readable";
        return wait.descriptor;
    }
};

TEST_F(IdleWaitTest, WakesForTheListenerAndForTheLinkAndIsDueWhileUnread) {
    const int fd = quietDescriptor();
    ASSERT_TRUE(sendToListener());
    EXPECT_TRUE(readable(fd, Forever));
    const IdleWait waiting = net.prepareIdleWait();
    EXPECT_TRUE(waiting.eventDue || readable(waiting.descriptor, 0))
        << "a datagram waits: a wait may begin only to end at once";
    EXPECT_EQ(pollListenerForData(net, listener), NetEvent::Data);

    EXPECT_EQ(quietDescriptor(), fd) << "one descriptor for the life of the layer";
    ASSERT_TRUE(sendToLink());
    EXPECT_TRUE(readable(fd, Forever));
}

TEST_F(IdleWaitTest, FollowsAListenerReopenedUnderTheSameDescriptorNumber) {
    const int fd = quietDescriptor();
    // Closed and reopened between two waits: the set last saw this number
    // and sees it again, but the socket behind it is a new one. The system hands out the lowest
    // free number, so the new socket most likely takes the closed one's: the set must watch it all
    // the same.
    listener = net.listenerOpen(AnyNumber, 0, NetMode::Datagram, "127.0.0.1");
    ASSERT_NE(listener, 0u);
    EXPECT_EQ(quietDescriptor(), fd);
    ASSERT_TRUE(sendToListener());
    EXPECT_TRUE(readable(fd, Forever));
}

}  // namespace
}  // namespace corvane::test
