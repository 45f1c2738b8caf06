#pragma once

#include <QWidget>

#include <cstdint>
#include <string_view>

namespace corvane {

// The one place where editor gadgets come into being, and their line
// operations. A read-only editor is a LogViewWidget (the program's log
// view); any other is a TextEditorGadget the user can type into. Honours
// WG_Editor_WordWrap and shows text as the initial content. The widget is a
// child of parent and belongs to it.
QWidget* createEditorGadget(QWidget* parent, std::uint32_t flags, std::u16string_view text);

// A multi-line text view that is no editor gadget: the stand-in for kinds
// without a counterpart of their own (code and web views). It has no line
// operations.
QWidget* createTextViewGadget(QWidget* parent, std::u16string_view text);

// The line operations on any editor gadget, the log view and the editable
// editors alike; for any other widget (or none) they do nothing and the
// count is 0. position -1 in editorItemAdd appends.
int editorItemCount(QWidget* gadget);
void editorItemRemove(QWidget* gadget, int index);
void editorItemAdd(QWidget* gadget, int position, std::u16string_view text);
void editorCaretToEnd(QWidget* gadget);

}  // namespace corvane
