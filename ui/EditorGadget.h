#pragma once

#include <QWidget>

#include <cstdint>
#include <string_view>

namespace corvane {

// The one place where editor gadgets come into being. A read-only editor is a
// LogViewWidget (the program's log view); any other is a QPlainTextEdit.
// Honours WG_Editor_WordWrap and shows text as the initial content. The widget
// is a child of parent and belongs to it.
QWidget* createEditorGadget(QWidget* parent, std::uint32_t flags, std::u16string_view text);

}  // namespace corvane
