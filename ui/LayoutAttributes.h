#pragma once

#include <string_view>

#include "ui/BoxLayout.h"

namespace corvane {

// How layout attributes read their values. Keywords compare ignoring case;
// a value that is not understood leaves the setting as it was.

// Box EXPAND: 'no', 'equal', 'item:N'. With acceptYes also 'yes' (the grid's
// COLEXPAND and ROWEXPAND, whose defaults differ).
void parseExpandMode(std::u16string_view value, ExpandMode& mode, int& item, bool acceptYes);
// Box ALIGN: 'center', 'bottom' or 'right'.
void parseBoxAlign(std::u16string_view value, BoxAlign& align);
// MARGIN: one number for all sides, or keyed numbers when the value holds ':'.
void parseMargin(std::u16string_view value, OneChildFields& one);
// One-child EXPAND: 'vertical', 'horizontal', 'no'.
void parseOneChildExpand(std::u16string_view value, OneChildFields& one);
// One-child ALIGN: the words top, bottom, left, right, center anywhere.
void parseOneChildAlign(std::u16string_view value, OneChildFields& one);
// MINWIDTH and the other window limits, INNERWIDTH/INNERHEIGHT: 'auto' or a number.
int parseSizeLimit(std::u16string_view value);
// FIRSTMIN, SECONDMIN: 'auto', 'request' or a number.
int parseSplitterMinimum(std::u16string_view value);

}  // namespace corvane
