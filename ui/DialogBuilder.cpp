#include "ui/DialogBuilder.h"

#include "ui/DialogText.h"
#include "ui/ElementReader.h"
#include "ui/Gadgets.h"
#include "ui/LayoutTree.h"

namespace corvane {

namespace {

// Deeper nesting than any dialog needs would only exhaust the stack.
constexpr int MaxNesting = 200;

// Where the gadgets of the next child go: a splitter's second child goes
// into the second pane.
QWidget* nestingFor(const DialogElement& parent, QWidget* nesting) {
    if (parent.kind->code == CodeSplitter && parent.panes.size() == 2 &&
        parent.layout.children.size() == 1) {
        return parent.panes[1];
    }
    return nesting;
}

void applyStates(DialogElement& e) {
    if (!e.widget) {
        return;
    }
    if (e.disabled) {
        e.widget->setEnabled(false);
    }
    if (e.invisible) {
        e.widget->hide();
    }
}

struct BuildContext {
    Dialog& dialog;
    GadgetTable& gadgets;
};

void buildLevel(DialogElement& parent, const XmlNode& parentNode, QWidget* nesting,
                BuildContext& context, int depth);

// Builds one element of the vocabulary and its subtree into parent.
void buildElement(DialogElement& parent, const XmlNode& node, const ElementKind& kind,
                  QWidget* nesting, BuildContext& context, int depth) {
    Dialog& dialog = context.dialog;
    auto e = std::make_unique<DialogElement>(describeElement(node, kind, dialog.error));
    if (dialog.error) {
        return;
    }
    e->parent = &parent;
    createGadget(*e, nestingFor(parent, nesting));
    if (e->widget) {
        e->gadget = context.gadgets.add(e->id, e->widget);
        dialog.gadgets.push_back(e->gadget);
    }
    if (node.firstChild != nullptr) {
        buildLevel(*e, node, e->inner ? e->inner.data() : nesting, context, depth + 1);
    }
    groupOptions(*e);
    DialogElement& built = *e;
    parent.children.push_back(std::move(e));
    attachLayoutChild(parent.layout, built.layout, parent.tag, dialog.error);
    applyStates(built);
}

void buildLevel(DialogElement& parent, const XmlNode& parentNode, QWidget* nesting,
                BuildContext& context, int depth) {
    if (depth > MaxNesting) {
        recordBuildError(context.dialog.error, "Dialog elements are nested more than %d deep",
                         MaxNesting);
        return;
    }
    for (const XmlNode* node = parentNode.firstChild; node != nullptr; node = node->nextSibling) {
        if (context.dialog.error) {
            return;
        }
        if (node->type != XmlNodeType::Element) {
            continue;
        }
        const ElementKind* kind = findElementKind(node->name);
        if (kind == nullptr || kind->code == CodeWindow) {
            continue;  // not part of the vocabulary: skipped with its subtree
        }
        buildElement(parent, *node, *kind, nesting, context, depth);
    }
}

}  // namespace

std::unique_ptr<DialogElement> readWindowElement(const XmlNode& node, Dialog& dialog) {
    return std::make_unique<DialogElement>(
        describeElement(node, *findElementKind(u"window"), dialog.error));
}

void buildChildren(DialogElement& parent, const XmlNode& parentNode, QWidget* nesting,
                   Dialog& dialog, GadgetTable& gadgets) {
    BuildContext context{dialog, gadgets};
    buildLevel(parent, parentNode, nesting, context, 0);
    groupOptions(parent);
}

DialogElement* findByName(DialogElement& element, std::u16string_view name) {
    if (element.name && equalsIgnoringCase(*element.name, name)) {
        return &element;
    }
    for (auto& child : element.children) {
        if (DialogElement* found = findByName(*child, name)) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace corvane
