#pragma once

#include <QObject>

#include "ui/EventQueue.h"

class QWidget;

namespace corvane {

// What eventPoll returns when it found no queued event but handled pending
// platform work. It is none of the event codes, so callers only need to know
// it is not 0.
inline constexpr int PlatformEventsHandled = 1;

// The event queue of the UI thread (there is only one UI thread).
EventQueue& uiEventQueue();

// Never waits. Returns the code of the oldest queued event; otherwise handles
// one round of Qt's pending events and returns PlatformEventsHandled if there
// were any (events raised meanwhile are seen by the next call); otherwise 0.
int eventPoll();

// Turns a top-level widget's window-system events into queued events of the
// window handle it was given: a close request becomes CloseEvent and leaves
// the window open; state changes, resizes, moves, activation, repaints
// and clicks on the background become their events. It is a child of the
// window, so it lives exactly as long as the window does.
class WindowEventBridge final : public QObject {
    Q_OBJECT
public:
    WindowEventBridge(QWidget* window, int windowHandle, EventQueue& queue = uiEventQueue());

    int windowHandle() const { return handle_; }
    // Lets close events through to the window again (for a layer that wants
    // QWidget::close to close it); off by default.
    void setCloseAllowed(bool allowed) { closeAllowed_ = allowed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowState currentState() const;

    QWidget* window_;
    int handle_;
    EventQueue& queue_;
    WindowState state_;
    bool closeAllowed_ = false;
};

}  // namespace corvane
