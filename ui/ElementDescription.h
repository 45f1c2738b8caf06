#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ui/BoxLayout.h"
#include "ui/ElementKinds.h"

namespace corvane {

// What the attributes of one element of a dialog document say, read before
// anything is built: the dialog layer makes the element's gadget from it.
// Plain data; FOLDED, WIDTH, HEIGHT, the spans and the layout settings of
// the kind live in the layout node, which the layout passes later record
// into.
struct ElementDescription {
    const ElementKind* kind = nullptr;
    std::u16string tag;  // as written in the document, for messages
    int id = -1;         // requested by ID; -1 allocates
    std::uint32_t flags = 0;
    std::optional<std::u16string> name;
    std::optional<std::u16string> text;
    bool disabled = false;   // DISABLED='yes'
    bool invisible = false;  // INVISIBLE='yes'
    LayoutNode layout;

    // Kind-specific settings.
    int group = 0;  // option GROUP
    int minimum = 0;
    int maximum = 100;
    int page = 10;
    std::optional<int> value;
    std::uint32_t color = 0xFF0000;  // hyperlink COLOR, 0x00BBGGRR
    int step = 10;                   // scrollarea STEP
};

}  // namespace corvane
