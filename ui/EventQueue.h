#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

#include "ui/EventCodes.h"

namespace corvane {

// One event: four integers, compared as a whole when coalescing.
struct Event {
    int code = 0;
    int object = 0;  // gadget number, menu item, timer number or 0
    int window = 0;  // window handle
    int extra = 0;   // 0 for most events; a gadget's own event type

    friend bool operator==(const Event&, const Event&) = default;
};

// Which fields of an event a callback binding matches on. Raising an event
// looks the bindings up in exactly this order.
enum class BindKey {
    CodeWindowObjectExtra,
    CodeWindowObject,
    CodeWindow,
    Code,
    CodeObjectExtraAnyWindow,
};

// The state a window is in when it reports a size or state change.
enum class WindowState { Normal, Minimised, Maximised };

// The UI thread's FIFO of events and the callbacks bound to them. Pure logic:
// the Qt side feeds it from window events and drains it in eventPoll. Owned by
// one thread; not locked.
class EventQueue {
public:
    using Callback = std::function<void(const Event&)>;

    // Binds (or replaces) the callback for the fields of `match` that `key`
    // names; the other fields of `match` are ignored.
    void bind(BindKey key, const Event& match, Callback callback);
    void unbind(BindKey key, const Event& match);

    // Runs the bound callbacks, then queues the event unless the newest queued
    // event is identical.
    void raise(const Event& event);

    // A window's inner size changed while it is in `state`. In the normal
    // state the new size supersedes every size event of that window still
    // queued.
    void windowResized(int window, WindowState state);

    // A window changed state: minimise raises MinimiseEvent only; maximise
    // raises MaximiseEvent then SizeEvent; a return to normal raises
    // RestoreEvent then SizeEvent (superseding queued ones).
    void windowStateChanged(int window, WindowState from, WindowState to);

    // Removes and returns the oldest event.
    std::optional<Event> pop();

    bool empty() const { return queue_.empty(); }
    std::size_t size() const { return queue_.size(); }
    void clear() { queue_.clear(); }

private:
    using Key = std::tuple<BindKey, int, int, int, int>;
    static Key keyFor(BindKey key, const Event& event);
    void runCallbacks(const Event& event);
    void enqueue(const Event& event);
    void raiseSize(int window, bool supersede);

    std::map<Key, Callback> bindings_;
    std::deque<Event> queue_;
};

}  // namespace corvane
