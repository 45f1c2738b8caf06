#include "ui/UiRegistry.h"

#include <QApplication>
#include <QScreen>

#include <limits>

#include "ui/DialogBuilder.h"
#include "ui/EventPoll.h"
#include "ui/FlagTable.h"
#include "ui/GadgetEvents.h"
#include "ui/Gadgets.h"

namespace corvane {

namespace {

int takeHandle(int& next) {
    const int handle = next;
    next = next == std::numeric_limits<int>::max() ? 1 : next + 1;
    return handle;
}

// Centres the window's outer frame on the screen; a window larger than the
// screen goes to its left or top edge.
void centreOnScreen(QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect s = screen->geometry();
    // The outer size counts the frame, which Qt knows once the platform
    // window exists (still hidden).
    window.winId();
    const QSize outer = window.frameGeometry().size();
    window.move(s.x() + (s.width() - std::min(s.width(), outer.width())) / 2,
                s.y() + (s.height() - std::min(s.height(), outer.height())) / 2);
}

// Centres on the owner window or, without one, on the active window; never
// left of or above the screen origin.
void centreOnWindow(QWidget& window) {
    const QWidget* owner =
        window.parentWidget() ? window.parentWidget()->window() : QApplication::activeWindow();
    if (owner == nullptr || owner == &window) {
        return;
    }
    const QRect o = owner->frameGeometry();
    const QSize outer = window.frameGeometry().size();
    window.move(std::max(0, o.x() + (o.width() - outer.width()) / 2),
                std::max(0, o.y() + (o.height() - outer.height()) / 2));
}

}  // namespace

UiRegistry::~UiRegistry() {
    for (auto& [handle, d] : dialogs_) {
        d->close(gadgets_);
    }
}

int UiRegistry::xmlParse(std::u16string_view text) {
    const int handle = takeHandle(nextXml_);
    trees_[handle] = parseXml(text);
    return handle;
}

bool UiRegistry::xmlValid(int xml) const {
    return trees_.contains(xml);
}

void UiRegistry::xmlFree(int xml) {
    trees_.erase(xml);
}

const XmlTree* UiRegistry::xmlTree(int xml) const {
    const auto it = trees_.find(xml);
    return it == trees_.end() ? nullptr : it->second.get();
}

int UiRegistry::dialogNew() {
    const int handle = takeHandle(nextDialog_);
    dialogs_[handle] = std::make_unique<Dialog>();
    return handle;
}

Dialog* UiRegistry::dialog(int handle) const {
    const auto it = dialogs_.find(handle);
    return it == dialogs_.end() ? nullptr : it->second.get();
}

int UiRegistry::dialogOpen(int handle, int xml, std::u16string_view name) {
    Dialog* d = dialog(handle);
    if (d == nullptr) {
        return 0;
    }
    // Opening again replaces the window the dialog had.
    if (d->windowHandle != 0) {
        windows_.erase(d->windowHandle);
    }
    d->close(gadgets_);
    d->error.reset();

    const XmlNode* node = findWindowNode(xmlTree(xml), name);
    if (node == nullptr) {
        recordBuildError(d->error, "Dialog window not found");
        return 0;
    }
    d->root = readWindowElement(*node, *d);
    if (!d->error) {
        d->window = std::make_unique<DialogWindow>(d->root->flags);
        d->window->setWindowTitle(QString::fromStdU16String(d->root->text.value_or(u"")));
        // Every size change from here on places the content in the new
        // inner area, before the event that reported it is finished.
        d->window->setSizeChangedHook([this, d](int w, int h) {
            if (d->root) {
                placeContent(*d, w, h);
            }
        });
        buildChildren(*d->root, *node, d->window.get(), *d, gadgets_);
    }
    if (d->error) {
        d->close(gadgets_);
        return 0;
    }
    d->windowHandle = takeHandle(nextWindow_);
    windows_[d->windowHandle] = d;
    // From now on the window's close requests, resizes and state changes
    // become events of this handle; the bridge lives as long as the window.
    new WindowEventBridge(d->window.get(), d->windowHandle);
    reportGadgetEvents(*d->root, d->windowHandle, uiEventQueue());

    layOut(*d, 0, 0);
    const std::uint32_t flags = d->root->flags;
    if ((flags & WG_Window_ScreenCentered) != 0) {
        centreOnScreen(*d->window);
    } else if ((flags & WG_Window_WindowCentered) != 0) {
        centreOnWindow(*d->window);
    }
    if ((flags & WG_Window_Invisible) == 0) {
        d->window->showNormal();
        d->window->activateWindow();
    }
    return 1;
}

void UiRegistry::layOut(Dialog& d, int minWidth, int minHeight) {
    measureTree(*d.root);
    const LayoutSize required = requiredSize(d.root->layout);
    d.window->applyLimits(d.root->layout.applied);
    const int w = std::max(minWidth, required.width);
    const int h = std::max(minHeight, required.height);
    placeContent(d, w, h);
    d.window->setInnerSize(w, h);
}

void UiRegistry::placeContent(Dialog& d, int width, int height) {
    place(d.root->layout, 0, 0, width, height);
    applyPlacement(*d.root);
}

int UiRegistry::dialogWindowHandle(int handle) const {
    const Dialog* d = dialog(handle);
    return d != nullptr && d->windowHandle != 0 ? d->windowHandle : -1;
}

int UiRegistry::dialogFind(int handle, std::u16string_view name) const {
    const Dialog* d = dialog(handle);
    if (d == nullptr || !d->root || d->windowHandle == 0) {
        return -1;
    }
    const DialogElement* e = findByName(*d->root, name);
    return e != nullptr ? e->gadget : -1;
}

const DialogElement* UiRegistry::dialogElement(int handle, std::u16string_view name) const {
    const Dialog* d = dialog(handle);
    return d != nullptr && d->root ? findByName(*d->root, name) : nullptr;
}

void UiRegistry::dialogRelayout(int handle) {
    Dialog* d = dialog(handle);
    if (d == nullptr || !d->window || !d->root) {
        return;
    }
    layOut(*d, d->window->width(), d->window->height());
}

void UiRegistry::dialogFree(int handle) {
    const auto it = dialogs_.find(handle);
    if (it == dialogs_.end()) {
        return;
    }
    windows_.erase(it->second->windowHandle);
    it->second->close(gadgets_);
    dialogs_.erase(it);
}

int UiRegistry::titleSet(int window, std::optional<std::u16string_view> text) {
    DialogWindow* w = windowWidget(window);
    if (w == nullptr || !text) {
        return 0;
    }
    w->setWindowTitle(QString::fromUtf16(text->data(), static_cast<qsizetype>(text->size())));
    return 1;
}

std::optional<std::string> UiRegistry::dialogError(int handle) const {
    const Dialog* d = dialog(handle);
    return d != nullptr ? d->error : std::nullopt;
}

DialogWindow* UiRegistry::windowWidget(int window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second->window.get();
}

}  // namespace corvane
