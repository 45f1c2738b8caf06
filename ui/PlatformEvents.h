#pragma once

#include <QEventLoop>

#include <memory>

class QAbstractEventDispatcher;

namespace corvane {

// The window system's events reach Qt through a round of the platform
// plug-in's own event dispatcher: it reads what the plug-in queued (on X11,
// what the display connection's reader thread took in), turns it into Qt's
// events, and writes out the requests the program made to the display.
// LoopDispatcher keeps one such dispatcher beside it, never installed for a
// thread, and hands it a round whenever the window system may have
// something. Made on the first round once the application's platform
// exists; dropped with it.
class PlatformEvents {
public:
    PlatformEvents();
    ~PlatformEvents();
    PlatformEvents(const PlatformEvents&) = delete;
    PlatformEvents& operator=(const PlatformEvents&) = delete;

    // One round, never waiting. True when it handled something; false too
    // when there is no platform (no application, or one without a window
    // system).
    bool process(QEventLoop::ProcessEventsFlags flags);
    // The application is closing down: no more rounds.
    void close();

private:
    std::unique_ptr<QAbstractEventDispatcher> platform_;
    // The platform it was made for (not owned).
    const void* madeFor_ = nullptr;
    bool closed_ = false;
};

}  // namespace corvane
