#include "ui/DialogApi.h"

#include <memory>

#include "ui/EditorGadget.h"
#include "ui/Font.h"
#include "ui/Tooltip.h"

namespace corvane {

namespace {

// Per thread: widgets belong to the thread that made them.
thread_local std::unique_ptr<UiRegistry>* registrySlot = nullptr;

}  // namespace

UiRegistry& uiRegistry() {
    if (registrySlot == nullptr) {
        // Deliberately outlives static destruction: Qt objects must go before
        // the QApplication, which uiCleanup guarantees and exit order does not.
        registrySlot = new std::unique_ptr<UiRegistry>(std::make_unique<UiRegistry>());
    }
    return **registrySlot;
}

void uiCleanup() {
    delete registrySlot;
    registrySlot = nullptr;
    fontCloseAll();
}

int xmlParse(std::u16string_view text) {
    return uiRegistry().xmlParse(text);
}
bool xmlValid(int xml) {
    return uiRegistry().xmlValid(xml);
}
void xmlFree(int xml) {
    uiRegistry().xmlFree(xml);
}
int dialogNew() {
    return uiRegistry().dialogNew();
}
int dialogOpen(int dialog, int xml, std::u16string_view name) {
    return uiRegistry().dialogOpen(dialog, xml, name);
}
int dialogWindowHandle(int dialog) {
    return uiRegistry().dialogWindowHandle(dialog);
}
int dialogFind(int dialog, std::u16string_view name) {
    return uiRegistry().dialogFind(dialog, name);
}
void dialogRelayout(int dialog) {
    uiRegistry().dialogRelayout(dialog);
}
void dialogFree(int dialog) {
    uiRegistry().dialogFree(dialog);
}
int titleSet(int window, std::optional<std::u16string_view> text) {
    return uiRegistry().titleSet(window, text);
}
void tooltipSet(int gadget, std::optional<std::u16string_view> text) {
    tooltipSet(gadgetWidget(gadget), text.value_or(std::u16string_view()));
}

int itemCount(int gadget) {
    return editorItemCount(gadgetWidget(gadget));
}
void itemRemove(int gadget, int index) {
    editorItemRemove(gadgetWidget(gadget), index);
}
void itemAdd(int gadget, int position, std::optional<std::u16string_view> text) {
    editorItemAdd(gadgetWidget(gadget), position, text.value_or(std::u16string_view()));
}
void caretToEnd(int gadget) {
    editorCaretToEnd(gadgetWidget(gadget));
}

QWidget* gadgetWidget(int gadget) {
    return uiRegistry().gadgetWidget(gadget);
}
DialogWindow* windowWidget(int window) {
    return uiRegistry().windowWidget(window);
}

}  // namespace corvane
