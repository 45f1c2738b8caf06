#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

#include "ui/BoxLayout.h"

namespace corvane {

// The top-level window of a dialog; its client area is the dialog's inner
// area. A close request never closes it: the window ignores the request (the
// event layer reports it as CloseEvent), so the program decides. Size
// changes are reported through the size hook with the new inner size; the
// dialog layer binds its relayout there.
class DialogWindow : public QWidget {
    Q_OBJECT

public:
    using SizeChangedHook = std::function<void(int innerWidth, int innerHeight)>;

    // flags: the window's FLAGS (caption, system menu, sizing border ...).
    explicit DialogWindow(std::uint32_t flags);

    void setSizeChangedHook(SizeChangedHook hook) { sizeHook_ = std::move(hook); }
    const SizeChangedHook& sizeChangedHook() const { return sizeHook_; }

    bool resizable() const;
    // Sets the inner size, keeping the position. A window without a sizing
    // border is held at that size.
    void setInnerSize(int width, int height);
    // Inner-size limits from the layout; 0 means no limit.
    void applyLimits(const AppliedLimits& limits);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::uint32_t flags_;
    SizeChangedHook sizeHook_;
};

}  // namespace corvane
