#include "ui/IdleWait.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>
#include <vector>

#include "ui/LoopDispatcher.h"

namespace corvane {

namespace {

// The notifiers and the deadline timer of the waits, made once and kept:
// the descriptors of a running program stay the same from wait to wait, so
// Qt's lists change only by enabling and disabling them.
class IdleWaiter final : public QObject {
public:
    explicit IdleWaiter(QObject* parent) : QObject(parent) {
        deadline_.setSingleShot(true);
        // A coarse timer may fire a twentieth early, which for a pause of
        // many seconds would mean a wake-up that finds nothing due.
        deadline_.setTimerType(Qt::PreciseTimer);
        connect(&deadline_, &QTimer::timeout, this, [this] { ended_ = WaitEnd::Deadline; });
    }

    WaitEnd wait(std::span<const int> descriptors, int timeoutMs) {
        ended_ = WaitEnd::Window;
        setWatched(descriptors);
        if (timeoutMs >= 0) {
            deadline_.start(timeoutMs);
        }
        if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance()) {
            dispatcher->processEvents(QEventLoop::WaitForMoreEvents);
        }
        deadline_.stop();
        for (auto& notifier : notifiers_) {
            notifier->setEnabled(false);
        }
        return ended_;
    }

private:
    void setWatched(std::span<const int> descriptors) {
        std::size_t used = 0;
        for (int fd : descriptors) {
            if (fd < 0) {
                continue;
            }
            if (used == notifiers_.size() || notifiers_[used]->socket() != fd) {
                auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
                connect(notifier.get(), &QSocketNotifier::activated, this,
                        [this] { ended_ = WaitEnd::Descriptor; });
                if (used == notifiers_.size()) {
                    notifiers_.push_back(std::move(notifier));
                } else {
                    notifiers_[used] = std::move(notifier);
                }
            }
            notifiers_[used++]->setEnabled(true);
        }
        notifiers_.resize(used);
    }

    QTimer deadline_;
    std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;
    WaitEnd ended_ = WaitEnd::Window;
};

IdleWaiter* idleWaiter() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return nullptr;
    }
    // It dies with its application; a new application gets a new one.
    static QPointer<IdleWaiter> waiter;
    if (waiter == nullptr || waiter->parent() != app) {
        waiter = new IdleWaiter(app);
    }
    return waiter;
}

}  // namespace

WaitEnd waitForWork(std::span<const int> descriptors, int timeoutMs) {
    if (LoopDispatcher* loop = LoopDispatcher::current()) {
        return loop->waitForWork(descriptors, timeoutMs);
    }
    // Under another dispatcher: Qt's own wait, with the descriptors as
    // socket notifiers and a timer for the deadline.
    IdleWaiter* waiter = idleWaiter();
    if (timeoutMs == 0 || waiter == nullptr) {
        return WaitEnd::Deadline;
    }
    return waiter->wait(descriptors, timeoutMs);
}

void forgetWaitDescriptors() {
    if (LoopDispatcher* loop = LoopDispatcher::current()) {
        loop->forgetWaitDescriptors();
    }
}

}  // namespace corvane
