// A dialog document through xmlParse and the dialog build.
//
// The input is the document's text: UTF-8, or UTF-16LE code units when it
// starts with the byte order mark FF FE (so unpaired surrogates reach the
// parser too). The tree is checked for sound links, then the window wndMain
// (or, failing that, the first window) is built into real widgets on Qt's
// offscreen platform, laid out, looked up and freed. A build either succeeds
// with a window or fails with an error text of at most 511 bytes and nothing
// left behind; every handle is invalid once freed.

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "ui/DialogApi.h"
#include "ui/DialogBuilder.h"
#include "ui/DialogDocument.h"
#include "ui/DialogText.h"
#include "ui/XmlTree.h"

namespace corvane::fuzz {
namespace {

std::u16string documentText(const std::uint8_t* data, std::size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        std::u16string text;
        for (std::size_t i = 2; i + 1 < size; i += 2) {
            text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
        }
        return text;
    }
    return fromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
}

// Walks the tree without recursion: every child points back to its parent,
// lastChild ends the sibling chain, and no node is reached twice (a node
// can't appear more often than the text has characters for its markup).
void checkTree(const XmlTree& tree, std::size_t textLength) {
    const XmlNode* root = tree.root();
    if (root == nullptr) {
        return;
    }
    FUZZ_CHECK(root->parent == nullptr && root->type == XmlNodeType::Element, "the root node");
    std::vector<const XmlNode*> pending{root};
    std::size_t nodes = 0;
    while (!pending.empty()) {
        const XmlNode* node = pending.back();
        pending.pop_back();
        FUZZ_CHECK(++nodes <= textLength + 1, "more nodes than the text can hold");
        const XmlNode* last = nullptr;
        for (const XmlNode* child = node->firstChild; child != nullptr;
             child = child->nextSibling) {
            FUZZ_CHECK(child->parent == node, "a child that names another parent");
            FUZZ_CHECK(child->type == XmlNodeType::Element || child->firstChild == nullptr,
                       "a text node with children");
            pending.push_back(child);
            last = child;
        }
        FUZZ_CHECK(node->lastChild == last, "lastChild is not the last of the chain");
    }
}

void buildDialog(std::u16string_view text) {
    const int xml = xmlParse(text);
    FUZZ_CHECK(xml != 0 && xmlValid(xml), "xmlParse gives a valid handle for any text");
    for (std::u16string_view name : {std::u16string_view(u"wndMain"), std::u16string_view()}) {
        const int dialog = dialogNew();
        FUZZ_CHECK(dialog != 0, "dialogNew");
        const bool opened = dialogOpen(dialog, xml, name) != 0;
        const std::optional<std::string> error = uiRegistry().dialogError(dialog);
        if (opened) {
            FUZZ_CHECK(!error.has_value(), "an opened dialog with an error text");
            const int window = dialogWindowHandle(dialog);
            FUZZ_CHECK(window > 0 && windowWidget(window) != nullptr, "an opened dialog's window");
            dialogFind(dialog, u"txtLog");
            dialogRelayout(dialog);
        } else {
            FUZZ_CHECK(error.has_value() && error->size() <= 511, "a failed build's error text");
            FUZZ_CHECK(dialogWindowHandle(dialog) <= 0, "a failed build left a window");
        }
        dialogFree(dialog);
        FUZZ_CHECK(dialogWindowHandle(dialog) == -1, "a freed dialog still answers");
        // Widgets given to deleteLater go now, not at the end of the run.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (opened) {
            break;
        }
    }
    xmlFree(xml);
    FUZZ_CHECK(!xmlValid(xml), "a freed XML handle is still valid");
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The one application object of the process; it outlives every input.
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    // The program's own document must build, or the harness tests nothing.
    const int xml = corvane::xmlParse(corvane::dialogDocument);
    const int dialog = corvane::dialogNew();
    FUZZ_CHECK(corvane::dialogOpen(dialog, xml, u"wndMain") != 0,
               "harness: the program's own dialog document does not build");
    corvane::dialogFree(dialog);
    corvane::xmlFree(xml);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::u16string text = corvane::fuzz::documentText(data, size);
    const std::unique_ptr<corvane::XmlTree> tree = corvane::parseXml(text);
    corvane::fuzz::checkTree(*tree, text.size());
    corvane::findWindowNode(tree.get(), u"");
    corvane::findWindowNode(tree.get(), u"WNDMAIN");
    corvane::fuzz::buildDialog(text);
    return 0;
}
