#include "ui/TextEditorGadget.h"

#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>

namespace corvane {

namespace {

// The displayed lines of one block, laid out at the editor's width first if
// it is not laid out yet.
int blockLines(const QTextBlock& block, const QPlainTextDocumentLayout* layout) {
    if (layout != nullptr) {
        layout->ensureBlockLayout(block);
    }
    return std::max(1, block.layout()->lineCount());
}

}  // namespace

TextEditorGadget::TextEditorGadget(QWidget* parent) : QPlainTextEdit(parent) {}

int TextEditorGadget::lineCount() const {
    const auto* layout =
        qobject_cast<const QPlainTextDocumentLayout*>(document()->documentLayout());
    int lines = 0;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines += blockLines(block, layout);
    }
    return lines;
}

int TextEditorGadget::lineStart(int line) const {
    const auto* layout =
        qobject_cast<const QPlainTextDocumentLayout*>(document()->documentLayout());
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        const int lines = blockLines(block, layout);
        if (line < lines) {
            const QTextLine shown = block.layout()->lineAt(line);
            return block.position() + (shown.isValid() ? shown.textStart() : 0);
        }
        line -= lines;
    }
    return textLength();
}

int TextEditorGadget::textLength() const {
    // The document counts the break it keeps after its last block.
    return document()->characterCount() - 1;
}

int TextEditorGadget::itemCount() const {
    return emptyLine_.itemCount(document()->isEmpty(), lineCount());
}

void TextEditorGadget::itemRemove(int index) {
    const int lines = lineCount();
    if (index < 0 || index >= lines) {
        return;
    }
    QTextCursor cursor(document());
    cursor.setPosition(lineStart(index));
    cursor.setPosition(index + 1 < lines ? lineStart(index + 1) : textLength(),
                       QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    setTextCursor(cursor);
    if (document()->isEmpty()) {
        emptyLine_.textEmptied();
    }
}

void TextEditorGadget::itemAdd(int position, QStringView text) {
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    if (position < 0 || position >= itemCount()) {
        const int breaks = emptyLine_.breaksBeforeAppend(textLength(), text.isEmpty());
        cursor.movePosition(QTextCursor::End);
        QString insertion(breaks, u'\n');
        insertion += text;
        cursor.insertText(insertion);
    } else {
        cursor.setPosition(lineStart(position));
        QString insertion = text.toString();
        insertion += u'\n';
        cursor.insertText(insertion);
        emptyLine_.insertedBeforeLine();
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
}

void TextEditorGadget::caretToEnd() {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    setTextCursor(cursor);
    ensureCursorVisible();
}

void TextEditorGadget::clearText() {
    clear();
    emptyLine_.textEmptied();
}

}  // namespace corvane
