#include "ui/Dialog.h"

namespace corvane {

void Dialog::close(GadgetTable& table) {
    for (int number : gadgets) {
        table.remove(number);
    }
    gadgets.clear();
    root.reset();
    if (window) {
        window->setSizeChangedHook({});
    }
    window.reset();
    windowHandle = 0;
}

}  // namespace corvane
