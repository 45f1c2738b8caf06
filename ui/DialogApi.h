#pragma once

#include <optional>
#include <string_view>

#include "ui/DialogWindow.h"
#include "ui/UiRegistry.h"

namespace corvane {

// The dialog operations of this UI thread, on its registry. The registry is
// made on first use and lives until uiCleanup, which the program calls at
// shutdown while its QApplication still exists.
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

QWidget* gadgetWidget(int gadget);
DialogWindow* windowWidget(int window);

}  // namespace corvane
