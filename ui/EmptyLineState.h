#pragma once

#include <cstdint>

namespace corvane {

// An empty text counts as no line, unless an empty item was added to it;
// that item is then one line, whose break comes with the next item.
enum class EmptyItem {
    None,    // the ordinary case
    Alone,   // the text is empty but holds one empty item
    Broken,  // that empty item has since been given its break
};

// What an editor gadget keeps besides its text: whether an empty text holds
// an empty item, and the rules by which the line operations change that.
// Every editor (the log view and the editable editors) follows these rules,
// so that the same calls give the same lines on each.
class EmptyLineState {
public:
    EmptyItem item() const { return item_; }

    // The items the editor counts, given its displayed lines: an empty text
    // counts none, unless it holds the empty item.
    int itemCount(bool textEmpty, int lines) const {
        if (textEmpty) {
            return item_ == EmptyItem::None ? 0 : 1;
        }
        return lines;
    }

    // An item is appended to a text of textLength characters: how many
    // breaks go in before it.
    int breaksBeforeAppend(std::int64_t textLength, bool itemEmpty) {
        int breaks = 0;
        if (item_ == EmptyItem::Alone) {
            ++breaks;
            item_ = EmptyItem::Broken;
        }
        if (textLength > 0) {
            ++breaks;
        } else if (itemEmpty && item_ == EmptyItem::None) {
            item_ = EmptyItem::Alone;
        }
        return breaks;
    }

    // An item went in before an existing line. The empty item that made the
    // text count one line now sits after it with its break; left alone, the
    // next append would give it a second break and a stray empty line.
    void insertedBeforeLine() {
        if (item_ == EmptyItem::Alone) {
            item_ = EmptyItem::Broken;
        }
    }

    // The text became empty, by a removal or a clear.
    void textEmptied() { item_ = EmptyItem::None; }

private:
    EmptyItem item_ = EmptyItem::None;
};

}  // namespace corvane
