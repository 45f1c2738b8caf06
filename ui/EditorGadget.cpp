#include "ui/EditorGadget.h"

#include <QPlainTextEdit>

#include "ui/FlagTable.h"

namespace corvane {

QWidget* createEditorGadget(QWidget* parent, std::uint32_t flags, std::u16string_view text) {
    auto* editor = new QPlainTextEdit(parent);
    editor->setReadOnly((flags & WG_Editor_ReadOnly) != 0);
    editor->setLineWrapMode((flags & WG_Editor_WordWrap) != 0 ? QPlainTextEdit::WidgetWidth
                                                              : QPlainTextEdit::NoWrap);
    // Tab moves the focus on, as in every other gadget of a dialog.
    editor->setTabChangesFocus(true);
    editor->setPlainText(QString::fromStdU16String(std::u16string(text)));
    return editor;
}

}  // namespace corvane
