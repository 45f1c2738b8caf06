#include "ui/EventQueue.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr BindKey LookupOrder[] = {
    BindKey::CodeWindowObjectExtra,
    BindKey::CodeWindowObject,
    BindKey::CodeWindow,
    BindKey::Code,
    BindKey::CodeObjectExtraAnyWindow,
};

// Coalescing compares codes as the 16-bit numbers the window layer uses;
// anything beyond that range is never taken for a repeat.
constexpr int MaxCoalescedCode = 65535;

}  // namespace

EventQueue::Key EventQueue::keyFor(BindKey key, const Event& e) {
    switch (key) {
        case BindKey::CodeWindowObjectExtra:
            return {key, e.code, e.window, e.object, e.extra};
        case BindKey::CodeWindowObject:
            return {key, e.code, e.window, e.object, 0};
        case BindKey::CodeWindow:
            return {key, e.code, e.window, 0, 0};
        case BindKey::Code:
            return {key, e.code, 0, 0, 0};
        case BindKey::CodeObjectExtraAnyWindow:
            return {key, e.code, 0, e.object, e.extra};
    }
    return {key, e.code, 0, 0, 0};
}

void EventQueue::bind(BindKey key, const Event& match, Callback callback) {
    if (!callback) {
        unbind(key, match);
        return;
    }
    bindings_[keyFor(key, match)] = std::move(callback);
}

void EventQueue::unbind(BindKey key, const Event& match) {
    bindings_.erase(keyFor(key, match));
}

void EventQueue::runCallbacks(const Event& event) {
    for (BindKey key : LookupOrder) {
        auto it = bindings_.find(keyFor(key, event));
        if (it == bindings_.end()) {
            continue;
        }
        // A copy, so that a callback may rebind or unbind itself safely.
        Callback callback = it->second;
        callback(event);
    }
}

void EventQueue::enqueue(const Event& event) {
    if (!queue_.empty() && event.code >= 0 && event.code <= MaxCoalescedCode &&
        queue_.back() == event) {
        return;
    }
    queue_.push_back(event);
}

void EventQueue::raise(const Event& event) {
    runCallbacks(event);
    enqueue(event);
}

void EventQueue::raiseSize(int window, bool supersede) {
    const Event event{SizeEvent, 0, window, 0};
    runCallbacks(event);
    if (supersede) {
        std::erase_if(queue_, [window](const Event& queued) {
            return queued.code == SizeEvent && queued.window == window;
        });
    }
    enqueue(event);
}

void EventQueue::windowResized(int window, WindowState state) {
    if (state == WindowState::Minimised) {
        // A minimised window has no inner area worth laying out.
        return;
    }
    raiseSize(window, state == WindowState::Normal);
}

void EventQueue::windowStateChanged(int window, WindowState from, WindowState to) {
    if (from == to) {
        return;
    }
    switch (to) {
        case WindowState::Minimised:
            raise({MinimiseEvent, 0, window, 0});
            break;
        case WindowState::Maximised:
            raise({MaximiseEvent, 0, window, 0});
            raiseSize(window, false);
            break;
        case WindowState::Normal:
            raise({RestoreEvent, 0, window, 0});
            raiseSize(window, true);
            break;
    }
}

std::optional<Event> EventQueue::pop() {
    if (queue_.empty()) {
        return std::nullopt;
    }
    Event event = queue_.front();
    queue_.pop_front();
    return event;
}

}  // namespace corvane
