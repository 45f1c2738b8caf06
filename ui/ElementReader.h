#pragma once

#include "ui/BuildError.h"
#include "ui/ElementDescription.h"
#include "ui/XmlTree.h"

namespace corvane {

// Reads one element node of the given kind: first the attributes every
// element reads, in document order, then those of the kind's own. A value
// the document gets wrong (an unknown flag, ID constant or event procedure)
// is recorded in error; only the first error of a build counts.
ElementDescription describeElement(const XmlNode& node, const ElementKind& kind, BuildError& error);

}  // namespace corvane
