#include "ui/EditorGadget.h"

#include <QPlainTextEdit>

#include "ui/FlagTable.h"
#include "ui/LogViewWidget.h"

namespace corvane {

QWidget* createEditorGadget(QWidget* parent, std::uint32_t flags, std::u16string_view text) {
    const bool wordWrap = (flags & WG_Editor_WordWrap) != 0;
    const QString initial = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    if ((flags & WG_Editor_ReadOnly) != 0) {
        // A read-only editor only ever grows by the program's own lines, which
        // may come tens of thousands a second: the view that lays out only
        // what is visible keeps up where a text document would not.
        auto* view = new LogViewWidget(parent);
        view->setWordWrap(wordWrap);
        if (!initial.isEmpty()) {
            view->itemAdd(-1, initial);
        }
        return view;
    }
    auto* editor = new QPlainTextEdit(parent);
    editor->setLineWrapMode(wordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    // Tab moves the focus on, as in every other gadget of a dialog.
    editor->setTabChangesFocus(true);
    editor->setPlainText(initial);
    return editor;
}

}  // namespace corvane
