#include "ui/Dialog.h"

#include <cstdarg>
#include <cstdio>
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

void recordDialogError(Dialog& dialog, const char* format, ...) {
    if (dialog.error) {
        return;
    }
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    std::string text(buffer, n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), 511));
    // A cut may split a character; drop its leading bytes rather than keep
    // a text that is not UTF-8.
    if (n > 511) {
        std::size_t i = text.size();
        while (i > 0 && (static_cast<unsigned char>(text[i - 1]) & 0xC0) == 0x80) {
            --i;
        }
        if (i > 0 && (static_cast<unsigned char>(text[i - 1]) & 0x80) != 0) {
            const auto lead = static_cast<unsigned char>(text[i - 1]);
            const std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (text.size() - (i - 1) < need) {
                text.resize(i - 1);
            }
        }
    }
    dialog.error = std::move(text);
}

}  // namespace corvane
