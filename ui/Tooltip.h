#pragma once

#include <QString>
#include <string_view>

class QWidget;

namespace corvane {

// The tooltip text to hand Qt so that `text` shows exactly as written: Qt
// would take text that looks like markup for rich text, so such text is
// escaped. Plain text ('&' included) is passed unchanged.
QString tooltipDisplayText(std::u16string_view text);

// Replaces the gadget's tooltip by `text` (empty: no tooltip). Qt shows it
// when the pointer rests on the gadget, also in an inactive window. Does
// nothing for a null gadget.
void tooltipSet(QWidget* gadget, std::u16string_view text);

}  // namespace corvane
