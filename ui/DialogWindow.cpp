#include "ui/DialogWindow.h"

#include <QCloseEvent>
#include <QResizeEvent>

#include "ui/FlagTable.h"

namespace corvane {

namespace {

Qt::WindowFlags qtWindowFlags(std::uint32_t flags) {
    Qt::WindowFlags f = (flags & WG_Window_Tool) != 0 ? Qt::Tool : Qt::Window;
    f |= Qt::CustomizeWindowHint;
    if ((flags & WindowCaptionBits) == WindowCaptionBits) {
        f |= Qt::WindowTitleHint;
    }
    if ((flags & WG_Window_NoGadgets) == 0) {
        if ((flags & WindowSystemMenuBit) != 0) {
            f |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        }
        if ((flags & WindowMinimizeBit) != 0) {
            f |= Qt::WindowMinimizeButtonHint;
        }
        if ((flags & WindowMaximizeBit) != 0) {
            f |= Qt::WindowMaximizeButtonHint;
        }
    }
    if ((flags & WG_Window_BorderLess) != 0) {
        f |= Qt::FramelessWindowHint;
    }
    return f;
}

}  // namespace

DialogWindow::DialogWindow(std::uint32_t flags)
    : QWidget(nullptr, qtWindowFlags(flags)), flags_(flags) {
    setAttribute(Qt::WA_ShowWithoutActivating, (flags & WG_Window_NoActivate) != 0);
    setGeometry(0, 0, 0, 0);
}

bool DialogWindow::resizable() const {
    return (flags_ & WindowSizeBorderBit) != 0;
}

void DialogWindow::setInnerSize(int width, int height) {
    if (resizable()) {
        resize(width, height);
    } else {
        setFixedSize(width, height);
    }
}

void DialogWindow::applyLimits(const AppliedLimits& limits) {
    if (!resizable()) {
        return;
    }
    auto upper = [](int v) { return v <= 0 ? QWIDGETSIZE_MAX : v; };
    if (limits.minWidth) {
        setMinimumWidth(std::max(0, *limits.minWidth));
    }
    if (limits.minHeight) {
        setMinimumHeight(std::max(0, *limits.minHeight));
    }
    if (limits.maxWidth) {
        setMaximumWidth(upper(*limits.maxWidth));
    }
    if (limits.maxHeight) {
        setMaximumHeight(upper(*limits.maxHeight));
    }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // Only the program closes its windows, by freeing them; the event layer
    // turns the user's request into an event before it gets here.
    event->ignore();
}

void DialogWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (sizeHook_) {
        sizeHook_(width(), height());
    }
}

}  // namespace corvane
