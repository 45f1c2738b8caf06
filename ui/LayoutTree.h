#pragma once

#include <cstddef>
#include <string_view>

#include "ui/BoxLayout.h"
#include "ui/BuildError.h"

namespace corvane {

// A box record holds at most this many children.
inline constexpr std::size_t MaxBoxChildren = 100;

// Attaches a built child's layout node to its parent's, as the parent's kind
// takes children: a box appends it (and refuses more than MaxBoxChildren,
// recording why with the parent's tag), a grid box puts it into the next
// free cell with its spans, a one-child kind makes it its child (a later one
// replaces it), a panel takes only tabs, a splitter its first two. Gadgets
// take none.
void attachLayoutChild(LayoutNode& parent, LayoutNode& child, std::u16string_view parentTag,
                       BuildError& error);

}  // namespace corvane
