#pragma once

#include <QWidget>

#include <cstdint>
#include <span>

#include "ui/DialogElement.h"

namespace corvane {

// Makes the gadget of one element kind inside parent from the element's
// description; containers also set where their children's gadgets go
// (element.inner) and the frame the layout leaves around the child. Returns
// the gadget, or none for a kind that has no gadget of its own (a tab page
// belongs to its panel).
using MakeGadget = QWidget* (*)(DialogElement& element, QWidget* parent);

struct GadgetFactory {
    ElementCode code;
    MakeGadget make;
};

// Plain gadgets: buttons, fields, lists, bars, editors. Each takes the
// default gadget font when it is made, unless it chose a font itself.
std::span<const GadgetFactory> plainGadgetFactories();
// Gadget containers: container, canvas, frame, panel and its tabs, scroll
// area, splitter.
std::span<const GadgetFactory> containerGadgetFactories();

// Helpers the factories share.
QString elementText(const DialogElement& element);
inline bool hasFlag(const DialogElement& element, std::uint32_t flag) {
    return (element.flags & flag) != 0;
}
// Gives the widget the default gadget font, when there is one.
void applyDefaultFont(QWidget* widget);

}  // namespace corvane
