#include "ui/LayoutTree.h"

#include "ui/DialogText.h"

namespace corvane {

namespace {

void attachToBox(LayoutNode& box, LayoutNode& child, std::u16string_view tag, BuildError& error) {
    if (box.children.size() >= MaxBoxChildren) {
        recordBuildError(error, "'%s' box cannot hold more than %zu children", toUtf8(tag).c_str(),
                         MaxBoxChildren);
        return;
    }
    if (box.kind == LayoutKind::GridBox) {
        addGridChild(box, child);
    } else {
        box.children.push_back(&child);
    }
}

}  // namespace

void attachLayoutChild(LayoutNode& parent, LayoutNode& child, std::u16string_view parentTag,
                       BuildError& error) {
    switch (parent.kind) {
        case LayoutKind::HBox:
        case LayoutKind::VBox:
        case LayoutKind::MultiBox:
        case LayoutKind::GridBox:
            attachToBox(parent, child, parentTag, error);
            return;
        case LayoutKind::Window:
        case LayoutKind::SingleBox:
        case LayoutKind::Container:
        case LayoutKind::ScrollArea:
        case LayoutKind::Tab:
            // One child; a later one takes its place.
            parent.children = {&child};
            return;
        case LayoutKind::Panel:
            if (child.kind == LayoutKind::Tab) {
                parent.children.push_back(&child);
            }
            return;
        case LayoutKind::Splitter:
            if (parent.children.size() < 2) {
                parent.children.push_back(&child);
            }
            return;
        case LayoutKind::Gadget:
        case LayoutKind::MeasuredGadget:
            return;
    }
}

}  // namespace corvane
