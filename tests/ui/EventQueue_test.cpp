#include "ui/EventQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvane {
namespace {

std::vector<Event> drain(EventQueue& queue) {
    std::vector<Event> events;
    while (auto event = queue.pop()) {
        events.push_back(*event);
    }
    return events;
}

std::vector<int> codes(const std::vector<Event>& events) {
    std::vector<int> out;
    for (const Event& event : events) {
        out.push_back(event.code);
    }
    return out;
}

TEST(EventQueue, IsFifoAndEmptyWhenDrained) {
    EventQueue queue;
    EXPECT_FALSE(queue.pop().has_value());
    queue.raise({MoveEvent, 0, 1, 0});
    queue.raise({CloseEvent, 0, 1, 0});
    EXPECT_EQ(codes(drain(queue)), (std::vector<int>{MoveEvent, CloseEvent}));
    EXPECT_TRUE(queue.empty());
}

TEST(EventQueue, CoalescesOnlyConsecutiveIdenticalEvents) {
    EventQueue queue;
    queue.raise({MoveEvent, 0, 1, 0});
    queue.raise({MoveEvent, 0, 1, 0});  // repeat: dropped
    queue.raise({MoveEvent, 0, 2, 0});  // other window: kept
    queue.raise({MoveEvent, 0, 2, 1});  // other extra: kept
    queue.raise({MoveEvent, 3, 2, 1});  // other object: kept
    queue.raise({CloseEvent, 3, 2, 1});
    queue.raise({MoveEvent, 3, 2, 1});  // same as two back, not the last: kept
    EXPECT_EQ(queue.size(), 6u);
}

TEST(EventQueue, CodesBeyondSixteenBitsAreNeverCoalesced) {
    EventQueue queue;
    queue.raise({65535, 0, 1, 0});
    queue.raise({65535, 0, 1, 0});
    queue.raise({65536, 0, 1, 0});
    queue.raise({65536, 0, 1, 0});
    EXPECT_EQ(codes(drain(queue)), (std::vector<int>{65535, 65536, 65536}));
}

TEST(EventQueue, BoundCallbacksRunInKeyOrderBeforeQueuing) {
    EventQueue queue;
    std::string order;
    const Event event{GadgetEvent, 5, 9, 14000};
    auto note = [&](char c) {
        return [&order, &queue, c](const Event& seen) {
            EXPECT_EQ(seen, (Event{GadgetEvent, 5, 9, 14000}));
            EXPECT_TRUE(queue.empty());  // not queued yet
            order += c;
        };
    };
    // Bound in the reverse of the lookup order, so that only the lookup
    // order can produce "abcde".
    queue.bind(BindKey::CodeObjectExtraAnyWindow, {GadgetEvent, 5, 777, 14000}, note('e'));
    queue.bind(BindKey::Code, {GadgetEvent, 1, 2, 3}, note('d'));
    queue.bind(BindKey::CodeWindow, {GadgetEvent, 0, 9, 0}, note('c'));
    queue.bind(BindKey::CodeWindowObject, {GadgetEvent, 5, 9, 99}, note('b'));
    queue.bind(BindKey::CodeWindowObjectExtra, event, note('a'));
    queue.raise(event);
    EXPECT_EQ(order, "abcde");
    EXPECT_EQ(queue.size(), 1u);
}

TEST(EventQueue, BindingsMatchOnlyTheirFields) {
    EventQueue queue;
    int calls = 0;
    auto count = [&calls](const Event&) { ++calls; };
    queue.bind(BindKey::CodeWindow, {SizeEvent, 0, 9, 0}, count);
    queue.bind(BindKey::CodeWindowObjectExtra, {GadgetEvent, 5, 9, 14000}, count);
    queue.raise({SizeEvent, 0, 8, 0});        // other window
    queue.raise({GadgetEvent, 5, 9, 14001});  // other extra
    queue.raise({MoveEvent, 0, 9, 0});        // other code
    EXPECT_EQ(calls, 0);
    queue.raise({SizeEvent, 4, 9, 4});  // object and extra ignored by this key
    EXPECT_EQ(calls, 1);
    queue.unbind(BindKey::CodeWindow, {SizeEvent, 0, 9, 0});
    queue.raise({SizeEvent, 0, 9, 0});
    EXPECT_EQ(calls, 1);
}

TEST(EventQueue, ResizeInNormalStateSupersedesQueuedSizeEventsOfThatWindow) {
    EventQueue queue;
    queue.windowResized(1, WindowState::Normal);
    queue.raise({MoveEvent, 0, 1, 0});
    queue.windowResized(2, WindowState::Normal);
    queue.raise({MoveEvent, 0, 2, 0});
    queue.windowResized(1, WindowState::Normal);
    const std::vector<Event> events = drain(queue);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0], (Event{MoveEvent, 0, 1, 0}));
    EXPECT_EQ(events[1], (Event{SizeEvent, 0, 2, 0}));
    EXPECT_EQ(events[2], (Event{MoveEvent, 0, 2, 0}));
    EXPECT_EQ(events[3], (Event{SizeEvent, 0, 1, 0}));
}

TEST(EventQueue, ResizeRunsTheBoundRelayoutEvenWhenCoalesced) {
    EventQueue queue;
    int relayouts = 0;
    queue.bind(BindKey::CodeWindow, {SizeEvent, 0, 1, 0}, [&](const Event&) { ++relayouts; });
    queue.windowResized(1, WindowState::Normal);
    queue.windowResized(1, WindowState::Normal);
    queue.windowResized(1, WindowState::Maximised);
    EXPECT_EQ(relayouts, 3);
    EXPECT_EQ(queue.size(), 1u);
}

struct StateCase {
    WindowState from;
    WindowState to;
    std::vector<int> expected;
};

class WindowStateChange : public testing::TestWithParam<StateCase> {};

TEST_P(WindowStateChange, RaisesTheEventsInOrder) {
    EventQueue queue;
    queue.windowStateChanged(4, GetParam().from, GetParam().to);
    const std::vector<Event> events = drain(queue);
    EXPECT_EQ(codes(events), GetParam().expected);
    for (const Event& event : events) {
        EXPECT_EQ(event.window, 4);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EventQueue, WindowStateChange,
    testing::Values(
        StateCase{WindowState::Normal, WindowState::Minimised, {MinimiseEvent}},
        StateCase{WindowState::Normal, WindowState::Maximised, {MaximiseEvent, SizeEvent}},
        StateCase{WindowState::Maximised, WindowState::Normal, {RestoreEvent, SizeEvent}},
        StateCase{WindowState::Minimised, WindowState::Normal, {RestoreEvent, SizeEvent}},
        StateCase{WindowState::Minimised, WindowState::Maximised, {MaximiseEvent, SizeEvent}},
        StateCase{WindowState::Normal, WindowState::Normal, {}}));

TEST(EventQueue, RestoreSupersedesQueuedSizeEventsButMaximiseDoesNot) {
    EventQueue queue;
    queue.windowResized(1, WindowState::Normal);
    queue.windowStateChanged(1, WindowState::Normal, WindowState::Maximised);
    EXPECT_EQ(codes(drain(queue)), (std::vector<int>{SizeEvent, MaximiseEvent, SizeEvent}));

    queue.windowResized(1, WindowState::Maximised);
    queue.raise({MoveEvent, 0, 1, 0});
    queue.windowStateChanged(1, WindowState::Maximised, WindowState::Normal);
    EXPECT_EQ(codes(drain(queue)), (std::vector<int>{MoveEvent, RestoreEvent, SizeEvent}));
}

}  // namespace
}  // namespace corvane
