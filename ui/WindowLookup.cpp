#include "ui/WindowLookup.h"

#include "ui/DialogText.h"

namespace corvane {

namespace {

bool isWindowNamed(const XmlNode& node, std::u16string_view name) {
    if (node.type != XmlNodeType::Element || !equalsIgnoringCase(node.name, u"window")) {
        return false;
    }
    if (name.empty()) {
        return true;
    }
    for (const XmlAttribute& a : node.attributes) {
        if (equalsIgnoringCase(a.name, u"NAME")) {
            return equalsIgnoringCase(a.value, name);
        }
    }
    return false;
}

}  // namespace

const XmlNode* findWindowNode(const XmlTree* tree, std::u16string_view name) {
    const XmlNode* root = tree != nullptr ? tree->root() : nullptr;
    if (root == nullptr) {
        return nullptr;
    }
    if (equalsIgnoringCase(root->name, u"window")) {
        return isWindowNamed(*root, name) ? root : nullptr;
    }
    if (equalsIgnoringCase(root->name, u"dialogs")) {
        for (const XmlNode* node = root->firstChild; node != nullptr; node = node->nextSibling) {
            if (isWindowNamed(*node, name)) {
                return node;
            }
        }
    }
    return nullptr;
}

}  // namespace corvane
