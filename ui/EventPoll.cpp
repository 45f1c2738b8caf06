#include "ui/EventPoll.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include "ui/LoopDispatcher.h"

namespace corvane {

namespace {

// Counts every event Qt delivers on the UI thread, so that eventPoll can tell
// whether its round of processing found anything: the dispatcher's own answer
// leaves out posted events on some platforms.
class DeliveryCounter final : public QObject {
public:
    explicit DeliveryCounter(QObject* parent) : QObject(parent) {}
    unsigned long long delivered = 0;

protected:
    bool eventFilter(QObject*, QEvent*) override {
        ++delivered;
        return false;
    }
};

DeliveryCounter* deliveryCounter() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) {
        return nullptr;
    }
    // Asked once per turn of the main loop, so the counter is remembered; it
    // dies with its application, and a new application gets a new one.
    static QPointer<DeliveryCounter> counter;
    if (counter == nullptr || counter->parent() != app) {
        counter = new DeliveryCounter(app);
        app->installEventFilter(counter);
    }
    return counter;
}

WindowState stateOf(Qt::WindowStates states) {
    if (states & Qt::WindowMinimized) {
        return WindowState::Minimised;
    }
    if (states & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
        return WindowState::Maximised;
    }
    return WindowState::Normal;
}

}  // namespace

EventQueue& uiEventQueue() {
    static EventQueue queue;
    return queue;
}

int eventPoll() {
    if (auto event = uiEventQueue().pop()) {
        return event->code;
    }
    // The program's own dispatcher knows whether it delivered anything, and
    // answers a poll with nothing for Qt without a system call.
    if (LoopDispatcher* loop = LoopDispatcher::current()) {
        return loop->processEvents(QEventLoop::AllEvents) ? PlatformEventsHandled : 0;
    }
    DeliveryCounter* counter = deliveryCounter();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (counter == nullptr || dispatcher == nullptr) {
        return 0;
    }
    const unsigned long long before = counter->delivered;
    // Without WaitForMoreEvents this handles what is pending and returns.
    const bool dispatched = dispatcher->processEvents(QEventLoop::AllEvents);
    if (dispatched || counter->delivered != before) {
        return PlatformEventsHandled;
    }
    return 0;
}

WindowEventBridge::WindowEventBridge(QWidget* window, int windowHandle, EventQueue& queue)
    : QObject(window),
      window_(window),
      handle_(windowHandle),
      queue_(queue),
      state_(stateOf(window->windowState())) {
    window->installEventFilter(this);
}

WindowState WindowEventBridge::currentState() const {
    return stateOf(window_->windowState());
}

bool WindowEventBridge::eventFilter(QObject* watched, QEvent* event) {
    if (watched != window_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::Close:
            // A close request (close box, window menu, keyboard) only becomes
            // an event; the program decides, and frees the window by deleting
            // it. Qt does not mark every user request as spontaneous, so all
            // close events are taken unless closing was allowed.
            if (!closeAllowed_) {
                event->ignore();
                queue_.raise({CloseEvent, 0, handle_, 0});
                return true;
            }
            break;
        case QEvent::WindowStateChange: {
            const WindowState now = currentState();
            queue_.windowStateChanged(handle_, state_, now);
            state_ = now;
            break;
        }
        case QEvent::Resize:
            queue_.windowResized(handle_, currentState());
            break;
        case QEvent::Move:
            queue_.raise({MoveEvent, 0, handle_, 0});
            break;
        case QEvent::ActivationChange:
            queue_.raise(
                {window_->isActiveWindow() ? ActivateEvent : DeactivateEvent, 0, handle_, 0});
            break;
        case QEvent::Paint:
            queue_.raise({RepaintEvent, 0, handle_, 0});
            break;
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                queue_.raise({RightClickEvent, 0, handle_, 0});
            } else if (mouse->button() == Qt::LeftButton) {
                queue_.raise({LeftClickEvent, 0, handle_, 0});
            }
            break;
        }
        case QEvent::MouseButtonDblClick:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                queue_.raise({LeftDoubleClickEvent, 0, handle_, 0});
            }
            break;
        default:
            break;
    }
    return false;
}

}  // namespace corvane
