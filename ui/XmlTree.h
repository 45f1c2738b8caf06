#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The tree that the dialog builder reads. Element nodes have type 1; text
// nodes (such as the tab runs between tags) are kept with type 3 so the tree
// mirrors the document, and the builder skips them.
enum class XmlNodeType : int { Element = 1, Text = 3 };

struct XmlAttribute {
    std::u16string name;
    std::u16string value;
};

struct XmlNode {
    XmlNodeType type = XmlNodeType::Element;
    std::u16string name;                   // element name; empty for text
    std::u16string text;                   // character data of a text node
    std::vector<XmlAttribute> attributes;  // document order
    XmlNode* parent = nullptr;
    XmlNode* firstChild = nullptr;
    XmlNode* nextSibling = nullptr;
    XmlNode* lastChild = nullptr;  // where the parser appends
};

// One parsed document. The tree owns every node in one flat list, so freeing a
// long chain of siblings or a deep nesting never recurses.
class XmlTree {
public:
    const XmlNode* root() const { return root_; }
    // True when the whole text was well-formed. A faulty text still keeps
    // everything built before the fault.
    bool wellFormed() const { return wellFormed_; }

    XmlNode* addNode(XmlNode* parent, XmlNodeType type);

private:
    friend std::unique_ptr<XmlTree> parseXml(std::u16string_view text);

    std::vector<std::unique_ptr<XmlNode>> nodes_;
    XmlNode* root_ = nullptr;
    bool wellFormed_ = false;
};

// Parses the whole UTF-16 text in one pass. Never fails: a text that is not
// well-formed yields the part of the tree built before the fault.
std::unique_ptr<XmlTree> parseXml(std::u16string_view text);

}  // namespace corvane
