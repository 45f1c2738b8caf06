#pragma once

#include <optional>
#include <string_view>

#include "ui/DialogWindow.h"
#include "ui/UiRegistry.h"

namespace corvane {

// The dialog operations of this UI thread, on its registry. The registry is
// made on first use and lives until uiCleanup, which the program calls at
// shutdown while its QApplication still exists; uiCleanup also lets go of
// the fonts.
UiRegistry& uiRegistry();
void uiCleanup();

int xmlParse(std::u16string_view text);
bool xmlValid(int xml);
void xmlFree(int xml);

int dialogNew();
int dialogOpen(int dialog, int xml, std::u16string_view name);
int dialogWindowHandle(int dialog);
int dialogFind(int dialog, std::u16string_view name);
void dialogRelayout(int dialog);
void dialogFree(int dialog);
int titleSet(int window, std::optional<std::u16string_view> text);

// Replaces the gadget's tooltip; no text means the empty text.
void tooltipSet(int gadget, std::optional<std::u16string_view> text);

// The line operations of editor gadgets: lines as the editor shows them, so
// a wrapped item counts as several. They act on every editor, the read-only
// log view and the editable ones alike; for any other gadget or an invalid
// handle they do nothing and itemCount is 0. position -1 in itemAdd appends;
// no text is the empty text.
int itemCount(int gadget);
void itemRemove(int gadget, int index);
void itemAdd(int gadget, int position, std::optional<std::u16string_view> text);
void caretToEnd(int gadget);

QWidget* gadgetWidget(int gadget);
DialogWindow* windowWidget(int window);

}  // namespace corvane
