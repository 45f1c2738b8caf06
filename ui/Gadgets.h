#pragma once

#include <QWidget>

#include "ui/BoxLayout.h"
#include "ui/DialogElement.h"

namespace corvane {

// The Qt side of the dialog elements: one widget per gadget kind.

// Creates the element's gadget inside parent, at (0, 0) with size 0 x 0, from
// its kind, FLAGS, TEXT and own settings. Sets element.widget, and for
// gadget containers element.inner (where the children's gadgets go) and the
// frame that the layout must leave around the child. Kinds without a gadget
// (boxes, empty) get nothing; a tab gets the page of its panel as inner.
void createGadget(DialogElement& element, QWidget* parent);

// The gadget's own size for gadgets that measure themselves: a button its
// caption in its own font, other kinds their toolkit size hint.
LayoutSize measureGadget(const DialogElement& element);

// Measures every self-measuring gadget in the tree, before a required-size pass.
void measureTree(DialogElement& element);

// Moves every gadget of the tree to the rectangle of the last place pass.
void applyPlacement(DialogElement& element);

// Puts the option children that declared a GROUP number into one exclusive
// group per number.
void groupOptions(DialogElement& element);

}  // namespace corvane
