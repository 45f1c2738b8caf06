#pragma once

#include <string_view>

#include "ui/XmlTree.h"

namespace corvane {

// The window element that a name asks for: the root when it is a `window`,
// or the first `window` child of a `dialogs` root, whose first NAME equals
// the name ignoring case (an empty name takes the first window). None when
// nothing matches or the tree has no root.
const XmlNode* findWindowNode(const XmlTree* tree, std::u16string_view name);

}  // namespace corvane
