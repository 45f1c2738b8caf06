#pragma once

#include <QAbstractEventDispatcher>
#include <QList>

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

class QObject;

namespace corvane {

// The Qt timers of one thread and when each is due, on a clock that never
// goes back (nanoseconds, as the caller reads it). Due timers get their
// QTimerEvent from activateDue; a repeating timer is then due again one
// interval after it was due, or one interval from now when it fell behind.
// Precise and coarse timers fire when due; a very coarse timer's interval is
// rounded to whole seconds. Timers may be added and removed from inside a
// timer event.
class TimerList {
public:
    void add(int id, qint64 intervalMs, Qt::TimerType type, QObject* object, std::int64_t nowNs);
    bool remove(int id);
    bool removeAll(const QObject* object);
    QList<QAbstractEventDispatcher::TimerInfo> timersOf(const QObject* object) const;
    // Milliseconds until the timer is due (0 when it is), -1 for an unknown id.
    int remainingMs(int id, std::int64_t nowNs) const;

    // Nanoseconds until the first timer is due (0 when one is), -1 without
    // timers. A timer in the middle of its own event does not count.
    std::int64_t nsUntilNext(std::int64_t nowNs) const;
    // When the first timer is due, on the caller's clock; Never without one.
    // Kept up to date by every change, so that asking costs nothing.
    std::int64_t firstDueNs() const { return firstDueNs_; }
    static constexpr std::int64_t Never = std::numeric_limits<std::int64_t>::max();
    // Sends each timer due at nowNs its event, at most once per call, oldest
    // first (up to MaxDuePerActivation; the rest in the next call). Returns
    // how many were sent.
    int activateDue(std::int64_t nowNs);
    static constexpr std::size_t MaxDuePerActivation = 32;

    bool empty() const { return timers_.empty(); }

private:
    struct Timer {
        int id = 0;
        qint64 intervalMs = 0;
        Qt::TimerType type = Qt::CoarseTimer;
        QObject* object = nullptr;
        std::int64_t dueNs = 0;
        // Its event is being delivered: it is not sent again meanwhile (a
        // handler that runs a nested event loop would otherwise recurse).
        bool inEvent = false;
    };
    // The ids of one activation, on the stack: a timer's event may run a
    // nested loop, which activates timers itself.
    struct Due {
        std::array<int, MaxDuePerActivation> ids{};
        std::size_t count = 0;
    };

    Timer* find(int id);
    const Timer* find(int id) const;
    Due collectDue(std::int64_t nowNs) const;
    void updateFirstDue();

    std::vector<Timer> timers_;
    std::int64_t firstDueNs_ = Never;
};

}  // namespace corvane
