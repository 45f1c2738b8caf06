#pragma once

#include <memory>
#include <vector>

#include "ui/BuildError.h"
#include "ui/DialogElement.h"
#include "ui/DialogWindow.h"
#include "ui/GadgetTable.h"

namespace corvane {

// One dialog: after a successful open, the built element tree of one window
// and that window; the error text of the last failed build.
struct Dialog {
    std::unique_ptr<DialogElement> root;  // the window element
    std::unique_ptr<DialogWindow> window;
    int windowHandle = 0;
    BuildError error;
    std::vector<int> gadgets;  // numbers this dialog took

    // Drops the elements, the window and the gadget numbers.
    void close(GadgetTable& table);
};

}  // namespace corvane
