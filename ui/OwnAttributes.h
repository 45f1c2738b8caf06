#pragma once

#include "ui/ElementDescription.h"
#include "ui/XmlTree.h"

namespace corvane {

// Reads one attribute as the element's kind reads its own (MARGIN, SPACING,
// MIN ...). Attributes that the kind does not know are ignored, and so are
// kinds without attributes of their own.
void readOwnAttribute(ElementDescription& element, const XmlAttribute& attribute);

}  // namespace corvane
