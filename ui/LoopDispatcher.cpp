#include "ui/LoopDispatcher.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>

namespace corvane {

namespace {

// What an epoll result names: the wake-up eventfd, a notifier's descriptor,
// a descriptor of the loop's idle wait, or Qt's set inside the loop's.
constexpr std::uint64_t WakeToken = 0;
constexpr std::uint64_t NotifierTag = std::uint64_t{1} << 32;
constexpr std::uint64_t LoopTag = std::uint64_t{2} << 32;
constexpr std::uint64_t QtSetToken = std::uint64_t{3} << 32;
constexpr std::uint64_t TagMask = ~std::uint64_t{0xFFFFFFFF};

// The events of each notifier type, indexed as Watch::notifiers.
constexpr std::uint32_t WatchedFor[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};
// Which notifier types a result wakes: a failure or a hang-up wakes readers
// and writers alike, as poll(2) would report it to both.
constexpr std::uint32_t Wakes[3] = {EPOLLIN | EPOLLERR | EPOLLHUP, EPOLLOUT | EPOLLERR | EPOLLHUP,
                                    EPOLLPRI};

std::int64_t monotonicNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// Whether a time on the monotonic clock has come. Asked in every poll, which
// costs a read of the clock through the vDSO, no system call. (The coarse
// clock would be cheaper still, but it can lag by more than its stated
// resolution, and a timer would then be seen late.)
bool hasCome(std::int64_t dueNs) {
    return dueNs != TimerList::Never && monotonicNs() >= dueNs;
}

bool addToSet(int set, int fd, std::uint32_t events, std::uint64_t token) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = token;
    return ::epoll_ctl(set, EPOLL_CTL_ADD, fd, &event) == 0;
}

void closeIfOpen(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

}  // namespace

LoopDispatcher::LoopDispatcher() : owner_(std::this_thread::get_id()) {
    qtSet_ = ::epoll_create1(EPOLL_CLOEXEC);
    loopSet_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (usable() && (!addToSet(qtSet_, wakeFd_, EPOLLIN, WakeToken) ||
                     !addToSet(loopSet_, qtSet_, EPOLLIN, QtSetToken))) {
        closeIfOpen(wakeFd_);
        wakeFd_ = -1;
    }
}

LoopDispatcher::~LoopDispatcher() {
    if (installed_ == this) {
        installed_ = nullptr;
    }
    closeIfOpen(loopSet_);
    closeIfOpen(qtSet_);
    closeIfOpen(wakeFd_);
}

LoopDispatcher* LoopDispatcher::installed_ = nullptr;

void LoopDispatcher::install() {
    if (QCoreApplication::eventDispatcher() != nullptr) {
        // Too late: the main thread has its dispatcher already.
        return;
    }
    qputenv("QT_NO_GLIB", "1");
    installed_ = new LoopDispatcher;
    QCoreApplication::setEventDispatcher(installed_);
}

LoopDispatcher* LoopDispatcher::current() {
    return installed_;
}

void LoopDispatcher::wakeUp() {
    woken_.store(true, std::memory_order_release);
    // The main thread checks the flag before each wait; another thread must
    // also end a wait that may have begun, once.
    if (std::this_thread::get_id() != owner_ && wakeFd_ >= 0 &&
        !wakeSignalled_.exchange(true, std::memory_order_acq_rel)) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
}

void LoopDispatcher::interrupt() {
    interrupted_.store(true, std::memory_order_release);
    wakeUp();
}

void LoopDispatcher::closingDown() {
    platform_.close();
}

void LoopDispatcher::readWake() {
    if (wakeSignalled_.exchange(false, std::memory_order_acq_rel)) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t read = ::read(wakeFd_, &count, sizeof count);
    }
}

void LoopDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                   QObject* object) {
    timers_.add(timerId, interval, timerType, object, monotonicNs());
}

bool LoopDispatcher::unregisterTimer(int timerId) {
    return timers_.remove(timerId);
}

bool LoopDispatcher::unregisterTimers(QObject* object) {
    return timers_.removeAll(object);
}

QList<QAbstractEventDispatcher::TimerInfo> LoopDispatcher::registeredTimers(QObject* object) const {
    return timers_.timersOf(object);
}

int LoopDispatcher::remainingTime(int timerId) {
    return timers_.remainingMs(timerId, monotonicNs());
}

int LoopDispatcher::msUntilTimer() const {
    const std::int64_t ns = timers_.nsUntilNext(monotonicNs());
    if (ns < 0) {
        return -1;
    }
    // Rounded up: a wait that ends before the timer is due finds nothing.
    return static_cast<int>(
        std::min<std::int64_t>((ns + 999'999) / 1'000'000, std::numeric_limits<int>::max()));
}

LoopDispatcher::Watch* LoopDispatcher::findWatch(int fd) {
    const auto found = std::find_if(watches_.begin(), watches_.end(),
                                    [fd](const Watch& watch) { return watch.fd == fd; });
    return found == watches_.end() ? nullptr : &*found;
}

bool LoopDispatcher::rewatch(Watch& watch, bool added) {
    epoll_event event{};
    event.data.u64 = NotifierTag | static_cast<std::uint32_t>(watch.fd);
    for (int type = 0; type < 3; ++type) {
        if (watch.notifiers[type] != nullptr) {
            event.events |= WatchedFor[type];
        }
    }
    if (event.events == 0) {
        ::epoll_ctl(qtSet_, EPOLL_CTL_DEL, watch.fd, nullptr);
        return true;
    }
    return ::epoll_ctl(qtSet_, added ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, watch.fd, &event) == 0;
}

void LoopDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    const int type = static_cast<int>(notifier->type());
    Watch* watch = findWatch(fd);
    const bool added = watch == nullptr;
    if (added) {
        watches_.push_back({fd, {nullptr, nullptr, nullptr}, 0});
        watch = &watches_.back();
    } else if (watch->notifiers[type] != nullptr) {
        qWarning("LoopDispatcher: a second socket notifier of one type on descriptor %d", fd);
        return;
    }
    watch->notifiers[type] = notifier;
    if (!rewatch(*watch, added)) {
        qWarning("LoopDispatcher: descriptor %d cannot be watched", fd);
        watch->notifiers[type] = nullptr;
        if (added) {
            watches_.pop_back();
        }
    }
}

void LoopDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    const int type = static_cast<int>(notifier->type());
    Watch* watch = findWatch(fd);
    if (watch == nullptr || watch->notifiers[type] != notifier) {
        return;
    }
    watch->notifiers[type] = nullptr;
    watch->pending &= ~(1u << type);
    rewatch(*watch, false);
    if (watch->notifiers[0] == nullptr && watch->notifiers[1] == nullptr &&
        watch->notifiers[2] == nullptr) {
        std::erase_if(watches_, [fd](const Watch& w) { return w.fd == fd; });
    }
}

bool LoopDispatcher::look(int set, int timeoutMs) {
    epoll_event events[16];
    const int count = ::epoll_wait(set, events, 16, timeoutMs);
    // A signal (EINTR) ends the wait with nothing found, so that the caller
    // gets to see it.
    bool loopDescriptorReady = false;
    for (int i = 0; i < count; ++i) {
        const std::uint64_t token = events[i].data.u64;
        if (token == WakeToken) {
            // Written only by another thread's wake-up, whose flag is set.
            readWake();
        } else if (token == QtSetToken) {
            lookAtQtSet();
        } else if ((token & TagMask) == LoopTag) {
            loopDescriptorReady = true;
        } else if (Watch* watch = findWatch(static_cast<int>(token & 0xFFFFFFFF))) {
            for (unsigned type = 0; type < 3; ++type) {
                if (watch->notifiers[type] != nullptr && (events[i].events & Wakes[type]) != 0) {
                    watch->pending |= 1u << type;
                }
            }
        }
    }
    return loopDescriptorReady;
}

void LoopDispatcher::lookAtQtSet() {
    look(qtSet_, 0);
}

int LoopDispatcher::activateNotifiers() {
    int sent = 0;
    // By index, and each slot looked at again before its event: a handler
    // may remove or replace notifiers, or run a nested loop that activates
    // some itself (it clears their marks first, so none is sent twice).
    for (std::size_t i = 0; i < watches_.size(); ++i) {
        for (unsigned type = 0; type < 3 && i < watches_.size(); ++type) {
            Watch& watch = watches_[i];
            if ((watch.pending & (1u << type)) == 0 || watch.notifiers[type] == nullptr) {
                continue;
            }
            watch.pending &= ~(1u << type);
            QEvent event(QEvent::SockAct);
            QCoreApplication::sendEvent(watch.notifiers[type], &event);
            ++sent;
        }
    }
    return sent;
}

// Delivers what the last wait and the wake-ups since left for Qt; costs no
// system call when there is nothing.
bool LoopDispatcher::dispatchPending(QEventLoop::ProcessEventsFlags flags) {
    bool delivered = false;
    if (woken_.load(std::memory_order_relaxed) &&
        woken_.exchange(false, std::memory_order_acq_rel)) {
        readWake();
        QCoreApplication::sendPostedEvents();
        // Objects deleted later from outside any event loop go at the
        // loop's next turn, as an event loop's return would take them.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        platform_.process(flags);
        deliveredSinceRound_ = false;
        delivered = true;
    }
    if (!flags.testFlag(QEventLoop::X11ExcludeTimers) && hasCome(timers_.firstDueNs()) &&
        timers_.activateDue(monotonicNs()) > 0) {
        delivered = true;
        deliveredSinceRound_ = true;
    }
    if (!flags.testFlag(QEventLoop::ExcludeSocketNotifiers) && !watches_.empty()) {
        // Descriptors of Qt's own are looked at in every poll: they are few
        // (the program's own wait uses none), and a busy loop must serve them.
        lookAtQtSet();
        if (activateNotifiers() > 0) {
            delivered = true;
            deliveredSinceRound_ = true;
        }
    }
    return delivered;
}

// Before sleeping, the platform gets a round if anything was delivered
// since its last: what was delivered may have drawn or changed the window,
// and the display must get those requests before the program sleeps.
bool LoopDispatcher::roundBeforeBlocking(QEventLoop::ProcessEventsFlags flags) {
    if (!deliveredSinceRound_) {
        return false;
    }
    deliveredSinceRound_ = false;
    return platform_.process(flags);
}

bool LoopDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted_.store(false, std::memory_order_relaxed);
    const bool delivered = dispatchPending(flags);
    if (delivered || !flags.testFlag(QEventLoop::WaitForMoreEvents) || !usable()) {
        // A poll, or a wait that found work at once.
        return delivered;
    }
    if (roundBeforeBlocking(flags)) {
        return true;
    }
    if (!woken_.load(std::memory_order_acquire) && !interrupted_.load(std::memory_order_acquire)) {
        // A nested event loop (a context menu) waits for Qt alone: the
        // main loop's descriptors are not served until it ends.
        emit aboutToBlock();
        look(qtSet_, flags.testFlag(QEventLoop::X11ExcludeTimers) ? -1 : msUntilTimer());
        emit awake();
    }
    return dispatchPending(flags);
}

void LoopDispatcher::setLoopDescriptors(std::span<const int> descriptors) {
    std::size_t named = 0;
    bool same = true;
    for (int fd : descriptors) {
        if (fd >= 0) {
            same = same && named < loopDescriptors_.size() && loopDescriptors_[named] == fd;
            ++named;
        }
    }
    if (same && named == loopDescriptors_.size()) {
        return;
    }
    forgetWaitDescriptors();
    for (int fd : descriptors) {
        // One that cannot be added is not waited for; the deadline still
        // ends the wait, and the next different list tries again.
        if (fd >= 0 && addToSet(loopSet_, fd, EPOLLIN, LoopTag | static_cast<std::uint32_t>(fd))) {
            loopDescriptors_.push_back(fd);
        }
    }
}

void LoopDispatcher::forgetWaitDescriptors() {
    for (int fd : loopDescriptors_) {
        ::epoll_ctl(loopSet_, EPOLL_CTL_DEL, fd, nullptr);
    }
    loopDescriptors_.clear();
}

WaitEnd LoopDispatcher::waitForWork(std::span<const int> descriptors, int timeoutMs) {
    if (timeoutMs == 0 || !usable()) {
        return WaitEnd::Deadline;
    }
    setLoopDescriptors(descriptors);
    interrupted_.store(false, std::memory_order_relaxed);
    if (dispatchPending(QEventLoop::AllEvents) || roundBeforeBlocking(QEventLoop::AllEvents) ||
        woken_.load(std::memory_order_acquire)) {
        return WaitEnd::Window;
    }
    int wait = msUntilTimer();
    if (timeoutMs > 0) {
        wait = wait < 0 ? timeoutMs : std::min(wait, timeoutMs);
    }
    emit aboutToBlock();
    const bool descriptorReady = look(loopSet_, wait);
    emit awake();
    const bool delivered = dispatchPending(QEventLoop::AllEvents);
    if (descriptorReady) {
        return WaitEnd::Descriptor;
    }
    return delivered ? WaitEnd::Window : WaitEnd::Deadline;
}

}  // namespace corvane
