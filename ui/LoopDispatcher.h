#pragma once

#include <QAbstractEventDispatcher>

#include <atomic>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

#include "ui/IdleWait.h"
#include "ui/PlatformEvents.h"
#include "ui/TimerList.h"

class QSocketNotifier;

namespace corvane {

// The event dispatcher of the main thread, made for a loop that polls the
// window in every turn: a poll with nothing for Qt costs no system call.
// It knows, without asking the system, when Qt has something: it was woken
// (an event was posted, or the window system's reader thread has events),
// a timer is due, or the last wait found a socket notifier's descriptor
// ready. Only then does a poll deliver: posted events, a round of the
// platform's own dispatcher for the window system's events (PlatformEvents),
// due timers, ready notifiers.
//
// Waits are one epoll_wait. Two sets: Qt's own (the wake-up eventfd and the
// socket notifiers' descriptors), in which nested event loops (a context
// menu) wait; and the loop's, which holds Qt's set and the descriptors of
// the loop's idle wait (the network's, the stop signals'), registered once
// and watched only while the loop itself waits.
//
// Install it with install() before the application exists.
class LoopDispatcher final : public QAbstractEventDispatcher {
    Q_OBJECT
public:
    LoopDispatcher();
    ~LoopDispatcher() override;

    // Makes one the event dispatcher of the main thread (Qt owns it), and
    // has the platform make Qt's own dispatcher, not glib's, for its rounds:
    // a glib one works on glib's main context, where such rounds find
    // nothing. Call before the application exists; later it does nothing.
    static void install();

    // The one install() made, while it lives; else null.
    static LoopDispatcher* current();
    // False when the system gave none of the descriptors it needs; it then
    // never waits.
    bool usable() const { return qtSet_ >= 0 && loopSet_ >= 0 && wakeFd_ >= 0; }

    // The main loop's idle wait (see waitForWork in ui/IdleWait.h). The
    // descriptors are watched from the first wait that names them until a
    // wait names others, or forgetWaitDescriptors.
    WaitEnd waitForWork(std::span<const int> descriptors, int timeoutMs);
    void forgetWaitDescriptors();

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;
    void closingDown() override;

private:
    // One descriptor with socket notifiers, a slot per type (read, write,
    // exception), and which of them the last look found ready.
    struct Watch {
        int fd = -1;
        QSocketNotifier* notifiers[3] = {nullptr, nullptr, nullptr};
        unsigned pending = 0;
    };
    Watch* findWatch(int fd);
    bool rewatch(Watch& watch, bool added);
    bool dispatchPending(QEventLoop::ProcessEventsFlags flags);
    int activateNotifiers();
    void readWake();
    // Waits on one set; records what Qt's set found. True when a loop
    // descriptor was found ready.
    bool look(int set, int timeoutMs);
    void lookAtQtSet();
    int msUntilTimer() const;
    void setLoopDescriptors(std::span<const int> descriptors);
    bool roundBeforeBlocking(QEventLoop::ProcessEventsFlags flags);

    static LoopDispatcher* installed_;

    int qtSet_ = -1;
    int loopSet_ = -1;
    int wakeFd_ = -1;
    std::thread::id owner_;
    std::atomic<bool> woken_{false};
    std::atomic<bool> wakeSignalled_{false};
    std::atomic<bool> interrupted_{false};
    // Something was delivered since the platform's last round: that round
    // also writes out the display requests it may have made.
    bool deliveredSinceRound_ = false;

    TimerList timers_;
    std::vector<Watch> watches_;
    std::vector<int> loopDescriptors_;
    PlatformEvents platform_;
};

}  // namespace corvane
