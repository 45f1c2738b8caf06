#pragma once

#include <QPlainTextEdit>
#include <QStringView>

#include "ui/EmptyLineState.h"

namespace corvane {

// An editor gadget the user can type into, with the line operations every
// editor has (the log view has the same ones). Lines are the lines as the
// editor shows them: an item wider than the view wraps and counts as more
// than one. Items are separated by one paragraph break, none after the last;
// every insertion is an undoable edit.
class TextEditorGadget final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TextEditorGadget(QWidget* parent = nullptr);

    int itemCount() const;
    // Removes line `index` with its break (to the end of the text for the
    // last line). Out-of-range indexes do nothing.
    void itemRemove(int index);
    // At the end for -1 or a line that does not exist, else before line
    // `position`, which the new item then becomes.
    void itemAdd(int position, QStringView text);
    // Caret after the last character, nothing selected, in view.
    void caretToEnd();
    // Empties the text; the empty item goes with it.
    void clearText();

private:
    int lineCount() const;
    int lineStart(int line) const;
    int textLength() const;

    EmptyLineState emptyLine_;
};

}  // namespace corvane
