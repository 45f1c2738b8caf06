#include "ui/GadgetEvents.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFocusEvent>

namespace corvane {

namespace {

// Watches one editor's focus. A child of the editor, so it goes with it.
class FocusReporter final : public QObject {
public:
    FocusReporter(QWidget* editor, const Event& gadget, EventQueue& queue)
        : QObject(editor), gadget_(gadget), queue_(queue) {
        editor->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const bool in = event->type() == QEvent::FocusIn;
        if (!in && event->type() != QEvent::FocusOut) {
            return false;
        }
        // A context menu borrows the focus only while it is open; the
        // editor keeps it as far as the user is concerned.
        if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
            Event report = gadget_;
            report.extra = in ? GadgetFocusGained : GadgetFocusLost;
            queue_.raise(report);
        }
        return false;
    }

private:
    Event gadget_;
    EventQueue& queue_;
};

bool clickReporting(ElementCode code) {
    return code == CodeButton || code == CodeCheckBox || code == CodeOption ||
           code == CodeButtonImage;
}

void report(const DialogElement& e, int windowHandle, EventQueue& queue) {
    if (!e.widget || e.gadget < 0) {
        return;
    }
    const Event gadget{GadgetEvent, e.gadget, windowHandle, 0};
    if (clickReporting(e.kind->code)) {
        if (auto* button = qobject_cast<QAbstractButton*>(e.widget.data())) {
            QObject::connect(button, &QAbstractButton::clicked, button, [gadget, &queue] {
                Event click = gadget;
                click.extra = GadgetLeftClick;
                queue.raise(click);
            });
        }
    } else if (e.kind->code == CodeEditor) {
        new FocusReporter(e.widget, gadget, queue);
    }
}

}  // namespace

void reportGadgetEvents(const DialogElement& root, int windowHandle, EventQueue& queue) {
    report(root, windowHandle, queue);
    for (const auto& child : root.children) {
        reportGadgetEvents(*child, windowHandle, queue);
    }
}

}  // namespace corvane
