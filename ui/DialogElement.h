#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

#include "ui/ElementDescription.h"

namespace corvane {

// One built element of a dialog: its description and what was built from
// it. Elements own their children; the widgets belong to the window through
// Qt parenting, so an element only watches its gadget.
struct DialogElement : ElementDescription {
    explicit DialogElement(ElementDescription description)
        : ElementDescription(std::move(description)) {}

    DialogElement* parent = nullptr;
    int gadget = -1;           // gadget number; -1 for elements without one
    QPointer<QWidget> widget;  // the gadget
    QPointer<QWidget> inner;   // where the gadgets of children go (containers)
    std::vector<std::unique_ptr<DialogElement>> children;  // document order
    std::vector<QPointer<QWidget>> panes;                  // splitter
};

}  // namespace corvane
