#pragma once

#include <cstdint>

namespace corvane {

// What an editor gadget keeps besides its text: whether an empty text holds
// an empty item, and the rules by which the line operations change that.
// Every editor (the log view and the editable editors) follows these rules,
// so that the same calls give the same lines on each.
class EmptyLineState {
public:
    // 0: ordinary; 1: the text is empty but one empty item has been added,
    // so it counts one line; 2: that empty item has since been given its
    // break.
    int value() const { return value_; }

    // The items the editor counts, given its displayed lines: an empty text
    // counts none, unless it holds the empty item.
    int itemCount(bool textEmpty, int lines) const {
        if (textEmpty) {
            return value_ == 0 ? 0 : 1;
        }
        return lines;
    }

    // An item is appended to a text of textLength characters: how many
    // breaks go in before it.
    int breaksBeforeAppend(std::int64_t textLength, bool itemEmpty) {
        int breaks = 0;
        if (value_ == 1) {
            ++breaks;
            value_ = 2;
        }
        if (textLength > 0) {
            ++breaks;
        } else if (itemEmpty && value_ == 0) {
            value_ = 1;
        }
        return breaks;
    }

    // An item went in before an existing line. The empty item that made the
    // text count one line now sits after it with its break; left at 1, the
    // next append would give it a second break and a stray empty line.
    void insertedBeforeLine() {
        if (value_ == 1) {
            value_ = 2;
        }
    }

    // The text became empty, by a removal or a clear.
    void textEmptied() { value_ = 0; }

private:
    int value_ = 0;
};

}  // namespace corvane
