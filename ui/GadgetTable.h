#pragma once

#include <QPointer>
#include <QWidget>

#include <map>

namespace corvane {

// Gadget numbers: the integer handles by which the rest of the program names
// gadgets. A number requested by an ID attribute is used when it is free;
// otherwise the next free number is taken. The table only watches the
// widgets; they belong to their window.
class GadgetTable {
public:
    int add(int requested, QWidget* widget);
    void remove(int number);
    QWidget* widget(int number) const;

private:
    std::map<int, QPointer<QWidget>> widgets_;
    int next_ = 1;
};

}  // namespace corvane
