#include "ui/XmlTree.h"

#include <expat.h>

#include <limits>
#include <type_traits>

#include "ui/DialogText.h"

namespace corvane {

XmlNode* XmlTree::addNode(XmlNode* parent, XmlNodeType type) {
    nodes_.push_back(std::make_unique<XmlNode>());
    XmlNode* node = nodes_.back().get();
    node->type = type;
    node->parent = parent;
    if (parent == nullptr) {
        if (root_ == nullptr) {
            root_ = node;
        }
        return node;
    }
    if (parent->lastChild == nullptr) {
        parent->firstChild = node;
    } else {
        parent->lastChild->nextSibling = node;
    }
    parent->lastChild = node;
    return node;
}

namespace {

struct ParseState {
    XmlTree* tree = nullptr;
    XmlNode* current = nullptr;  // the open element, none outside the root
};

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* state = static_cast<ParseState*>(data);
    XmlNode* node = state->tree->addNode(state->current, XmlNodeType::Element);
    node->name = fromUtf8(name);
    for (const XML_Char** a = attributes; a[0] != nullptr && a[1] != nullptr; a += 2) {
        // The attribute count of a node is a 16-bit field in the dialog
        // layer's model; a document never comes near it, but never overrun it.
        if (node->attributes.size() >= std::numeric_limits<std::uint16_t>::max()) {
            break;
        }
        node->attributes.push_back({fromUtf8(a[0]), fromUtf8(a[1])});
    }
    state->current = node;
}

void XMLCALL onEnd(void* data, const XML_Char* /*name*/) {
    auto* state = static_cast<ParseState*>(data);
    if (state->current != nullptr) {
        state->current = state->current->parent;
    }
}

void XMLCALL onText(void* data, const XML_Char* text, int length) {
    auto* state = static_cast<ParseState*>(data);
    if (state->current == nullptr || length <= 0) {
        return;
    }
    std::u16string part = fromUtf8(std::string_view(text, static_cast<std::size_t>(length)));
    // expat may hand one run of character data over in pieces; keep it as one node.
    XmlNode* last = state->current->lastChild;
    if (last != nullptr && last->type == XmlNodeType::Text) {
        last->text += part;
        return;
    }
    XmlNode* node = state->tree->addNode(state->current, XmlNodeType::Text);
    node->text = std::move(part);
}

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

std::unique_ptr<XmlTree> parseXml(std::u16string_view text) {
    auto tree = std::make_unique<XmlTree>();
    // expat takes the text as UTF-8, which avoids any doubt about the byte
    // order of 16-bit input.
    const std::string utf8 = toUtf8(text);
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserDeleter> parser(
        XML_ParserCreate("UTF-8"));
    if (!parser || utf8.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        return tree;
    }
    ParseState state{tree.get(), nullptr};
    XML_SetUserData(parser.get(), &state);
    XML_SetElementHandler(parser.get(), onStart, onEnd);
    XML_SetCharacterDataHandler(parser.get(), onText);
    tree->wellFormed_ = XML_Parse(parser.get(), utf8.data(), static_cast<int>(utf8.size()),
                                  XML_TRUE) == XML_STATUS_OK;
    return tree;
}

}  // namespace corvane
