#pragma once

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/DialogElement.h"
#include "ui/DialogWindow.h"

namespace corvane {

// Gadget numbers: the integer handles by which the rest of the program names
// gadgets. A number requested by an ID attribute is used when it is free;
// otherwise the next free number is taken.
class GadgetTable {
public:
    int add(int requested, QWidget* widget);
    void remove(int number);
    QWidget* widget(int number) const;

private:
    std::map<int, QPointer<QWidget>> widgets_;
    int next_ = 1;
};

// One dialog: after a successful open, the built element tree of one window
// and that window; the error text of the last failed build.
struct Dialog {
    std::unique_ptr<DialogElement> root;  // the window element
    std::unique_ptr<DialogWindow> window;
    int windowHandle = 0;
    std::optional<std::string> error;  // UTF-8, at most 511 bytes
    std::vector<int> gadgets;          // numbers this dialog took

    // Drops the elements, the window and the gadget numbers.
    void close(GadgetTable& table);
};

// Records a build error, formatted printf-style into 512 bytes, unless the
// dialog already holds one: only the first error of a build counts.
void recordDialogError(Dialog& dialog, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

}  // namespace corvane
