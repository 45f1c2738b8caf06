#pragma once

#include <QWidget>

#include <memory>
#include <string_view>

#include "ui/Dialog.h"
#include "ui/WindowLookup.h"
#include "ui/XmlTree.h"

namespace corvane {

// Reads the window element's own attributes (no gadget: the caller creates
// the platform window from the result). Errors go to the dialog.
std::unique_ptr<DialogElement> readWindowElement(const XmlNode& node, Dialog& dialog);

// Builds the children of parentNode into parent, their gadgets inside
// nesting, element by element in document order; stops before the next
// element once the dialog holds an error.
void buildChildren(DialogElement& parent, const XmlNode& parentNode, QWidget* nesting,
                   Dialog& dialog, GadgetTable& gadgets);

// The first element named name (ignoring case) in document order, an element
// before its children; none if there is none.
DialogElement* findByName(DialogElement& element, std::u16string_view name);

}  // namespace corvane
