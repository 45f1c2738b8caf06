#pragma once

#include <QString>
#include <string_view>

class QWidget;

namespace corvane {

// The tooltip text to hand Qt so that `text` shows exactly as written: Qt
// would take text that looks like markup for rich text, so such text is
// escaped. Plain text ('&' included) is passed unchanged.
QString tooltipDisplayText(std::u16string_view text);

// Replaces the gadget's tooltip by `text` (empty: no tooltip), shown when the
// pointer rests on the gadget. Qt shows tips only in the active window unless
// the window asks otherwise, so this also marks the gadget's window to show
// them when it is not active. Does nothing for a null gadget.
void tooltipSet(QWidget* gadget, std::u16string_view text);

}  // namespace corvane
