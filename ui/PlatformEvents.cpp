// The one place that uses Qt's private interfaces (qt6-base-private-dev, the
// same version as Qt itself): only the platform plug-in knows how to bring
// its window-system events into Qt, and Qt's public interface offers that
// knowledge only as the event dispatcher the plug-in makes. Both calls used
// here have stood unchanged since Qt 5.0.
#include "ui/PlatformEvents.h"

#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformintegration.h>
#include <QAbstractEventDispatcher>

namespace corvane {

PlatformEvents::PlatformEvents() = default;
PlatformEvents::~PlatformEvents() = default;

void PlatformEvents::close() {
    platform_.reset();
    closed_ = true;
}

bool PlatformEvents::process(QEventLoop::ProcessEventsFlags flags) {
    QPlatformIntegration* platform =
        closed_ ? nullptr : QGuiApplicationPrivate::platformIntegration();
    if (platform != madeFor_) {
        // None yet (the application is being made), none any more (it is
        // going), or another one: the dispatcher of a platform that is gone
        // must not be asked again.
        platform_.reset();
        madeFor_ = platform;
        if (platform != nullptr) {
            platform_.reset(platform->createEventDispatcher());
        }
    }
    if (!platform_) {
        return false;
    }
    return platform_->processEvents(flags & ~QEventLoop::WaitForMoreEvents);
}

}  // namespace corvane
