#pragma once

#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ui/Dialog.h"
#include "ui/DialogWindow.h"
#include "ui/XmlTree.h"

namespace corvane {

// The handles of the dialog layer on one UI thread: parsed XML trees,
// dialogs, their windows and gadgets. Handles are opaque non-zero integers;
// an operation given an invalid handle does nothing and returns 0 (-1 for
// dialogWindowHandle and dialogFind). Destroying the registry frees
// everything it still holds; do that while the QApplication exists.
class UiRegistry {
public:
    UiRegistry() = default;
    ~UiRegistry();
    UiRegistry(const UiRegistry&) = delete;
    UiRegistry& operator=(const UiRegistry&) = delete;

    int xmlParse(std::u16string_view text);
    bool xmlValid(int xml) const;
    void xmlFree(int xml);
    const XmlTree* xmlTree(int xml) const;

    int dialogNew();
    // Builds the named window of the document and shows it: 1, or 0 with the
    // dialog's error text set.
    int dialogOpen(int dialog, int xml, std::u16string_view name);
    int dialogWindowHandle(int dialog) const;
    int dialogFind(int dialog, std::u16string_view name) const;
    void dialogRelayout(int dialog);
    void dialogFree(int dialog);
    int titleSet(int window, std::optional<std::u16string_view> text);

    // The error text of the dialog's last failed build (UTF-8), none after a
    // successful one or for an invalid handle.
    std::optional<std::string> dialogError(int dialog) const;
    // The element of that name (boxes and the window element included).
    const DialogElement* dialogElement(int dialog, std::u16string_view name) const;

    // The widgets behind the handles, for the window layer; none when the
    // handle is invalid. The widgets belong to their dialog's window.
    QWidget* gadgetWidget(int gadget) const { return gadgets_.widget(gadget); }
    DialogWindow* windowWidget(int window) const;

private:
    Dialog* dialog(int handle) const;
    // Required-size pass, window limits, place pass in the larger of the
    // given size and the required one, and the new inner size.
    void layOut(Dialog& dialog, int minWidth, int minHeight);
    void placeContent(Dialog& dialog, int width, int height);

    std::map<int, std::unique_ptr<XmlTree>> trees_;
    std::map<int, std::unique_ptr<Dialog>> dialogs_;
    std::map<int, Dialog*> windows_;
    GadgetTable gadgets_;
    int nextXml_ = 1;
    int nextDialog_ = 1;
    int nextWindow_ = 1;
};

}  // namespace corvane
