#include "ui/GadgetTable.h"

#include <limits>

namespace corvane {

int GadgetTable::add(int requested, QWidget* widget) {
    int number = requested;
    if (number < 0 || widgets_.contains(number)) {
        while (widgets_.contains(next_)) {
            next_ = next_ == std::numeric_limits<int>::max() ? 1 : next_ + 1;
        }
        number = next_;
        next_ = next_ == std::numeric_limits<int>::max() ? 1 : next_ + 1;
    }
    widgets_[number] = widget;
    return number;
}

void GadgetTable::remove(int number) {
    widgets_.erase(number);
}

QWidget* GadgetTable::widget(int number) const {
    const auto it = widgets_.find(number);
    return it == widgets_.end() ? nullptr : it->second.data();
}

}  // namespace corvane
