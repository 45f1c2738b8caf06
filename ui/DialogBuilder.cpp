#include "ui/DialogBuilder.h"

#include "ui/DialogText.h"
#include "ui/Gadgets.h"
#include "ui/LayoutAttributes.h"
#include "ui/RuntimeTable.h"

namespace corvane {

namespace {

// A box record holds at most this many children.
constexpr std::size_t MaxBoxChildren = 100;
// Deeper nesting than any dialog needs would only exhaust the stack.
constexpr int MaxNesting = 200;

bool is(std::u16string_view name, std::u16string_view key) {
    return equalsIgnoringCase(name, key);
}

// WIDTH, HEIGHT: a runtime constant, else the number the text reads as.
int constantOrNumber(std::u16string_view value) {
    if (const auto constant = runtimeConstant(value)) {
        return *constant;
    }
    return readNumber(value);
}

void readId(DialogElement& e, std::u16string_view value, Dialog& dialog) {
    if (is(value, u"#WG_Any")) {
        e.id = -1;
    } else if (!value.empty() && value.front() == u'#') {
        if (const auto constant = runtimeConstant(value.substr(1))) {
            e.id = *constant;
        } else {
            recordBuildError(dialog.error, "'%s' constant is not found or not declared as runtime%s.",
                              toUtf8(value).c_str(), "");
        }
    } else {
        e.id = constantOrNumber(value);
    }
}

void readEvent(const DialogElement& e, const EventAttribute& event, const XmlAttribute& attribute,
               Dialog& dialog) {
    if ((e.kind->events & EventsRead) == 0) {
        return;
    }
    if ((e.kind->events & event.mask) == 0) {
        recordBuildError(dialog.error, "'%s' is not supported for the following gadget: %s",
                          toUtf8(attribute.name).c_str(), toUtf8(e.tag).c_str());
        return;
    }
    // Binding would hand the procedure gadget events of event.type; the
    // runtime table of this program holds no procedure to bind.
    if (!isRuntimeProcedure(attribute.value)) {
        recordBuildError(dialog.error, "'%s' is not a runtime procedure.",
                          toUtf8(attribute.value).c_str());
    }
}

void readCommon(DialogElement& e, const XmlAttribute& a, Dialog& dialog) {
    const std::u16string_view n = a.name;
    if (is(n, u"ID")) {
        readId(e, a.value, dialog);
    } else if (is(n, u"NAME")) {
        e.name = a.value;
    } else if (is(n, u"TEXT")) {
        e.text = a.value;
    } else if (is(n, u"WIDTH")) {
        e.layout.width = constantOrNumber(a.value);
    } else if (is(n, u"HEIGHT")) {
        e.layout.height = constantOrNumber(a.value);
    } else if (is(n, u"FOLDED")) {
        e.layout.folded = is(a.value, u"yes");
    } else if (is(n, u"FLAGS")) {
        const FlagListResult r = resolveFlagList(a.value, e.kind->run);
        e.flags |= r.flags;
        if (r.unsupported) {
            recordBuildError(dialog.error, "'#%s' flag is not supported for the following gadget: %s",
                              toUtf8(*r.unsupported).c_str(), toUtf8(e.tag).c_str());
        }
    } else if (const EventAttribute* event = findEventAttribute(n)) {
        readEvent(e, *event, a, dialog);
    }
}

bool readOneChild(OneChildFields& one, const XmlAttribute& a, bool capsAllowed) {
    const std::u16string_view n = a.name;
    if (is(n, u"MARGIN")) {
        parseMargin(a.value, one);
    } else if (is(n, u"EXPAND")) {
        parseOneChildExpand(a.value, one);
    } else if (is(n, u"ALIGN")) {
        parseOneChildAlign(a.value, one);
    } else if (capsAllowed && is(n, u"EXPANDWIDTH")) {
        one.capWidth = readNumber(a.value);
    } else if (capsAllowed && is(n, u"EXPANDHEIGHT")) {
        one.capHeight = readNumber(a.value);
    } else {
        return false;
    }
    return true;
}

void readOwn(DialogElement& e, const XmlAttribute& a) {
    const std::u16string_view n = a.name;
    const std::u16string_view v = a.value;
    LayoutNode& l = e.layout;
    switch (e.kind->code) {
        case CodeWindow:
            if (is(n, u"MINWIDTH")) {
                l.limits.minWidth = parseSizeLimit(v);
            } else if (is(n, u"MINHEIGHT")) {
                l.limits.minHeight = parseSizeLimit(v);
            } else if (is(n, u"MAXWIDTH")) {
                l.limits.maxWidth = parseSizeLimit(v);
            } else if (is(n, u"MAXHEIGHT")) {
                l.limits.maxHeight = parseSizeLimit(v);
            } else {
                readOneChild(l.one, a, true);
            }
            break;
        case CodeHBox:
        case CodeVBox:
            if (is(n, u"SPACING")) {
                l.box.spacing = readNumber(v);
            } else if (is(n, u"EXPAND")) {
                parseExpandMode(v, l.box.expandMode, l.box.expandItem, false);
            } else if (is(n, u"ALIGN")) {
                parseBoxAlign(v, l.box.align);
            }
            break;
        case CodeGridBox:
            if (is(n, u"COLUMNS")) {
                l.grid.columns = std::max(1, readNumber(v));
            } else if (is(n, u"COLSPACING")) {
                l.grid.colSpacing = readNumber(v);
            } else if (is(n, u"ROWSPACING")) {
                l.grid.rowSpacing = readNumber(v);
            } else if (is(n, u"COLEXPAND")) {
                parseExpandMode(v, l.grid.colExpand, l.grid.colItem, true);
            } else if (is(n, u"ROWEXPAND")) {
                parseExpandMode(v, l.grid.rowExpand, l.grid.rowItem, true);
            }
            break;
        case CodeSingleBox:
        case CodeContainer:
        case CodeFrame:
        case CodeTab:
        case CodeCanvas:
            readOneChild(l.one, a, true);
            break;
        case CodeScrollArea:
            if (is(n, u"INNERWIDTH")) {
                l.scroll.innerWidth = parseSizeLimit(v);
            } else if (is(n, u"INNERHEIGHT")) {
                l.scroll.innerHeight = parseSizeLimit(v);
            } else if (is(n, u"STEP")) {
                e.step = readNumber(v);
            } else if (is(n, u"SCROLLING")) {
                l.scroll.horizontalOnly = is(v, u"horizontal");
                l.scroll.verticalOnly = is(v, u"vertical");
            } else {
                readOneChild(l.one, a, false);
            }
            break;
        case CodeSplitter:
            if (is(n, u"FIRSTMIN")) {
                l.split.firstMin = parseSplitterMinimum(v);
            } else if (is(n, u"SECONDMIN")) {
                l.split.secondMin = parseSplitterMinimum(v);
            }
            break;
        case CodeOption:
            if (is(n, u"GROUP")) {
                e.group = readNumber(v);
            }
            break;
        case CodeHyperLink:
            if (is(n, u"COLOR")) {
                e.color = static_cast<std::uint32_t>(readNumber(v));
            }
            break;
        case CodeScrollBar:
        case CodeProgressBar:
        case CodeTrackBar:
        case CodeSpin:
            if (is(n, u"MIN")) {
                e.minimum = readNumber(v);
            } else if (is(n, u"MAX")) {
                e.maximum = readNumber(v);
            } else if (is(n, u"VALUE")) {
                e.value = readNumber(v);
            } else if (is(n, u"PAGE") && e.kind->code == CodeScrollBar) {
                e.page = readNumber(v);
            }
            break;
        default:
            break;
    }
}

std::unique_ptr<DialogElement> readElement(const XmlNode& node, const ElementKind& kind,
                                           Dialog& dialog) {
    auto e = std::make_unique<DialogElement>();
    e->kind = &kind;
    e->tag = node.name;
    e->layout.kind = kind.layout;
    OneChildFields& one = e->layout.one;
    one.marginTop = one.marginBottom = one.marginLeft = one.marginRight = kind.margin;
    if (kind.code == CodeTrackBar) {
        e->maximum = 10;
    }
    for (const XmlAttribute& a : node.attributes) {
        readCommon(*e, a, dialog);
    }
    for (const XmlAttribute& a : node.attributes) {
        readOwn(*e, a);
    }
    return e;
}

// Where the gadgets of the next child go: a splitter's second child goes
// into the second pane.
QWidget* nestingFor(const DialogElement& parent, QWidget* nesting) {
    if (parent.kind->code == CodeSplitter && parent.panes.size() == 2 &&
        parent.layout.children.size() == 1) {
        return parent.panes[1];
    }
    return nesting;
}

void addChild(DialogElement& parent, DialogElement& child, const XmlNode& childNode,
              Dialog& dialog) {
    LayoutNode& l = parent.layout;
    switch (l.kind) {
        case LayoutKind::HBox:
        case LayoutKind::VBox:
        case LayoutKind::MultiBox:
        case LayoutKind::GridBox:
            if (l.children.size() >= MaxBoxChildren) {
                recordBuildError(dialog.error, "'%s' box cannot hold more than %zu children",
                                  toUtf8(parent.tag).c_str(), MaxBoxChildren);
                return;
            }
            if (l.kind != LayoutKind::GridBox) {
                l.children.push_back(&child.layout);
                return;
            }
            for (const XmlAttribute& a : childNode.attributes) {
                if (is(a.name, u"COLSPAN")) {
                    child.layout.columnSpan = std::max(1, readNumber(a.value));
                } else if (is(a.name, u"ROWSPAN")) {
                    child.layout.rowSpan = std::max(1, readNumber(a.value));
                }
            }
            addGridChild(l, child.layout);
            return;
        case LayoutKind::Window:
        case LayoutKind::SingleBox:
        case LayoutKind::Container:
        case LayoutKind::ScrollArea:
        case LayoutKind::Tab:
            // One child; a later one takes its place.
            l.children = {&child.layout};
            return;
        case LayoutKind::Panel:
            if (child.kind->code == CodeTab) {
                l.children.push_back(&child.layout);
            }
            return;
        case LayoutKind::Splitter:
            if (l.children.size() < 2) {
                l.children.push_back(&child.layout);
            }
            return;
        case LayoutKind::Gadget:
        case LayoutKind::MeasuredGadget:
            return;
    }
}

void applyStates(DialogElement& e, const XmlNode& node) {
    if (!e.widget) {
        return;
    }
    for (const XmlAttribute& a : node.attributes) {
        if (is(a.name, u"DISABLED") && is(a.value, u"yes")) {
            e.widget->setEnabled(false);
        } else if (is(a.name, u"INVISIBLE") && is(a.value, u"yes")) {
            e.widget->hide();
        }
    }
}

void buildLevel(DialogElement& parent, const XmlNode& parentNode, QWidget* nesting, Dialog& dialog,
                GadgetTable& gadgets, int depth) {
    if (depth > MaxNesting) {
        recordBuildError(dialog.error, "Dialog elements are nested more than %d deep", MaxNesting);
        return;
    }
    for (const XmlNode* node = parentNode.firstChild; node != nullptr; node = node->nextSibling) {
        if (dialog.error) {
            return;
        }
        if (node->type != XmlNodeType::Element) {
            continue;
        }
        const ElementKind* kind = findElementKind(node->name);
        if (kind == nullptr || kind->code == CodeWindow) {
            continue;  // not part of the vocabulary: skipped with its subtree
        }
        std::unique_ptr<DialogElement> e = readElement(*node, *kind, dialog);
        if (dialog.error) {
            continue;
        }
        e->parent = &parent;
        createGadget(*e, nestingFor(parent, nesting));
        if (e->widget) {
            e->gadget = gadgets.add(e->id, e->widget);
            dialog.gadgets.push_back(e->gadget);
        }
        if (node->firstChild != nullptr) {
            buildLevel(*e, *node, e->inner ? e->inner.data() : nesting, dialog, gadgets, depth + 1);
        }
        groupOptions(*e);
        DialogElement& built = *e;
        parent.children.push_back(std::move(e));
        addChild(parent, built, *node, dialog);
        applyStates(built, *node);
    }
}

}  // namespace

const XmlNode* findWindowNode(const XmlTree* tree, std::u16string_view name) {
    const XmlNode* root = tree != nullptr ? tree->root() : nullptr;
    if (root == nullptr) {
        return nullptr;
    }
    auto matches = [name](const XmlNode& node) {
        if (node.type != XmlNodeType::Element || !is(node.name, u"window")) {
            return false;
        }
        if (name.empty()) {
            return true;
        }
        for (const XmlAttribute& a : node.attributes) {
            if (is(a.name, u"NAME")) {
                return equalsIgnoringCase(a.value, name);
            }
        }
        return false;
    };
    if (is(root->name, u"window")) {
        return matches(*root) ? root : nullptr;
    }
    if (is(root->name, u"dialogs")) {
        for (const XmlNode* node = root->firstChild; node != nullptr; node = node->nextSibling) {
            if (matches(*node)) {
                return node;
            }
        }
    }
    return nullptr;
}

std::unique_ptr<DialogElement> readWindowElement(const XmlNode& node, Dialog& dialog) {
    return readElement(node, *findElementKind(u"window"), dialog);
}

void buildChildren(DialogElement& parent, const XmlNode& parentNode, QWidget* nesting,
                   Dialog& dialog, GadgetTable& gadgets) {
    buildLevel(parent, parentNode, nesting, dialog, gadgets, 0);
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
