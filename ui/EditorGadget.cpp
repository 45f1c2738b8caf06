#include "ui/EditorGadget.h"

#include <QPlainTextEdit>

#include "ui/FlagTable.h"
#include "ui/LogViewWidget.h"
#include "ui/TextEditorGadget.h"

namespace corvane {

namespace {

QString toQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

void setUpTextEdit(QPlainTextEdit& edit, bool wordWrap, std::u16string_view text) {
    edit.setLineWrapMode(wordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    // Tab moves the focus on, as in every other gadget of a dialog.
    edit.setTabChangesFocus(true);
    edit.setPlainText(toQString(text));
}

// Runs op on the editor behind the widget, if there is one.
template <typename Op>
void withEditor(QWidget* gadget, Op op) {
    if (auto* view = qobject_cast<LogViewWidget*>(gadget)) {
        op(*view);
    } else if (auto* editor = qobject_cast<TextEditorGadget*>(gadget)) {
        op(*editor);
    }
}

}  // namespace

QWidget* createEditorGadget(QWidget* parent, std::uint32_t flags, std::u16string_view text) {
    const bool wordWrap = (flags & WG_Editor_WordWrap) != 0;
    if ((flags & WG_Editor_ReadOnly) != 0) {
        // A read-only editor only ever grows by the program's own lines, which
        // may come tens of thousands a second: the view that lays out only
        // what is visible keeps up where a text document would not.
        auto* view = new LogViewWidget(parent);
        view->setWordWrap(wordWrap);
        if (!text.empty()) {
            view->itemAdd(-1, toQString(text));
        }
        return view;
    }
    auto* editor = new TextEditorGadget(parent);
    setUpTextEdit(*editor, wordWrap, text);
    return editor;
}

QWidget* createTextViewGadget(QWidget* parent, std::u16string_view text) {
    auto* view = new QPlainTextEdit(parent);
    setUpTextEdit(*view, false, text);
    return view;
}

int editorItemCount(QWidget* gadget) {
    int count = 0;
    withEditor(gadget, [&count](auto& editor) { count = editor.itemCount(); });
    return count;
}

void editorItemRemove(QWidget* gadget, int index) {
    withEditor(gadget, [index](auto& editor) { editor.itemRemove(index); });
}

void editorItemAdd(QWidget* gadget, int position, std::u16string_view text) {
    const QStringView item(text.data(), static_cast<qsizetype>(text.size()));
    withEditor(gadget, [position, item](auto& editor) { editor.itemAdd(position, item); });
}

void editorCaretToEnd(QWidget* gadget) {
    withEditor(gadget, [](auto& editor) { editor.caretToEnd(); });
}

}  // namespace corvane
