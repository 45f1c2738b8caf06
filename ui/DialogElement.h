#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/BoxLayout.h"
#include "ui/ElementKinds.h"

namespace corvane {

// One built element of a dialog. Elements own their children; the widgets
// belong to the window through Qt parenting, so an element only watches its
// gadget. FOLDED, WIDTH and HEIGHT live in the layout node.
struct DialogElement {
    const ElementKind* kind = nullptr;
    DialogElement* parent = nullptr;
    int gadget = -1;  // gadget number; -1 for elements without one
    int id = -1;      // requested by ID; -1 allocates
    std::uint32_t flags = 0;
    std::optional<std::u16string> name;
    std::optional<std::u16string> text;
    std::u16string tag;  // as written in the document, for messages

    LayoutNode layout;
    QPointer<QWidget> widget;  // the gadget
    QPointer<QWidget> inner;   // where the gadgets of children go (containers)
    std::vector<std::unique_ptr<DialogElement>> children;  // document order

    // Kind-specific settings.
    int group = 0;  // option GROUP
    int minimum = 0;
    int maximum = 100;
    int page = 10;
    std::optional<int> value;
    std::uint32_t color = 0xFF0000;        // hyperlink COLOR, 0x00BBGGRR
    int step = 10;                         // scrollarea STEP
    std::vector<QPointer<QWidget>> panes;  // splitter
};

}  // namespace corvane
