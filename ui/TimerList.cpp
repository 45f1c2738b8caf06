#include "ui/TimerList.h"

#include <QCoreApplication>
#include <QTimerEvent>

#include <algorithm>
#include <limits>

namespace corvane {

namespace {

constexpr std::int64_t NsPerMs = 1'000'000;

qint64 effectiveIntervalMs(qint64 intervalMs, Qt::TimerType type) {
    if (type != Qt::VeryCoarseTimer) {
        return intervalMs;
    }
    return std::max<qint64>(1000, (intervalMs + 500) / 1000 * 1000);
}

}  // namespace

void TimerList::add(int id, qint64 intervalMs, Qt::TimerType type, QObject* object,
                    std::int64_t nowNs) {
    const qint64 interval = effectiveIntervalMs(std::max<qint64>(0, intervalMs), type);
    timers_.push_back({id, interval, type, object, nowNs + interval * NsPerMs, false});
    firstDueNs_ = std::min(firstDueNs_, timers_.back().dueNs);
}

void TimerList::updateFirstDue() {
    firstDueNs_ = Never;
    for (const Timer& timer : timers_) {
        if (!timer.inEvent) {
            firstDueNs_ = std::min(firstDueNs_, timer.dueNs);
        }
    }
}

TimerList::Timer* TimerList::find(int id) {
    const auto found =
        std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    return found == timers_.end() ? nullptr : &*found;
}

const TimerList::Timer* TimerList::find(int id) const {
    const auto found =
        std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
    return found == timers_.end() ? nullptr : &*found;
}

bool TimerList::remove(int id) {
    const bool removed = std::erase_if(timers_, [id](const Timer& t) { return t.id == id; }) != 0;
    updateFirstDue();
    return removed;
}

bool TimerList::removeAll(const QObject* object) {
    const bool removed =
        std::erase_if(timers_, [object](const Timer& t) { return t.object == object; }) != 0;
    updateFirstDue();
    return removed;
}

QList<QAbstractEventDispatcher::TimerInfo> TimerList::timersOf(const QObject* object) const {
    QList<QAbstractEventDispatcher::TimerInfo> list;
    for (const Timer& timer : timers_) {
        if (timer.object == object) {
            list.append({timer.id, static_cast<int>(timer.intervalMs), timer.type});
        }
    }
    return list;
}

int TimerList::remainingMs(int id, std::int64_t nowNs) const {
    const Timer* timer = find(id);
    if (timer == nullptr) {
        return -1;
    }
    const std::int64_t left = std::max<std::int64_t>(0, timer->dueNs - nowNs);
    // Rounded up: a wait of that many milliseconds never ends before the timer is due.
    return static_cast<int>(
        std::min<std::int64_t>((left + NsPerMs - 1) / NsPerMs, std::numeric_limits<int>::max()));
}

std::int64_t TimerList::nsUntilNext(std::int64_t nowNs) const {
    std::int64_t next = -1;
    for (const Timer& timer : timers_) {
        if (timer.inEvent) {
            continue;
        }
        const std::int64_t left = std::max<std::int64_t>(0, timer.dueNs - nowNs);
        next = next < 0 ? left : std::min(next, left);
    }
    return next;
}

// The ids of the timers due at nowNs, oldest first, and those due at the
// same time in the order they were started: an insertion sort, stable and
// without a buffer, for the few timers a program has.
TimerList::Due TimerList::collectDue(std::int64_t nowNs) const {
    Due due;
    for (const Timer& timer : timers_) {
        if (timer.inEvent || timer.dueNs > nowNs || due.count == due.ids.size()) {
            continue;
        }
        std::size_t j = due.count++;
        for (; j > 0 && find(due.ids[j - 1])->dueNs > timer.dueNs; --j) {
            due.ids[j] = due.ids[j - 1];
        }
        due.ids[j] = timer.id;
    }
    return due;
}

int TimerList::activateDue(std::int64_t nowNs) {
    const Due due = collectDue(nowNs);
    int sent = 0;
    for (std::size_t i = 0; i < due.count; ++i) {
        const int id = due.ids[i];
        Timer* timer = find(id);
        // Gone, restarted or busy after an earlier event of this round.
        if (timer == nullptr || timer->inEvent || timer->dueNs > nowNs) {
            continue;
        }
        timer->dueNs += timer->intervalMs * NsPerMs;
        if (timer->dueNs <= nowNs) {
            timer->dueNs = nowNs + timer->intervalMs * NsPerMs;
        }
        timer->inEvent = true;
        updateFirstDue();
        QObject* object = timer->object;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
        ++sent;
        // The event may have removed the timer, or even given its id anew.
        if (Timer* after = find(id); after != nullptr) {
            after->inEvent = false;
        }
    }
    updateFirstDue();
    return sent;
}

}  // namespace corvane
