#pragma once

#include <QString>
#include <QStringView>
#include <deque>

#include "ui/BlockRecycler.h"
#include "ui/LogViewWrap.h"

namespace corvane {

// The text of the log view with the line operations of the program's editor
// gadgets. The text is a sequence of paragraphs (items) joined by one break
// character each, none after the last. Lines are the displayed lines: a
// paragraph the wrapper breaks in k lines counts k. Positions are character
// offsets into the text, a break counting one. The model is read-only for the
// user; it keeps no undo history. Not thread-safe.
class LogViewModel {
public:
    // The wrapper must outlive the model; call rewrapAll after changing it.
    explicit LogViewModel(const LineWrapper& wrapper);

    // Displayed lines; 0 for an empty text unless an empty item was added.
    int itemCount() const;
    // Removes from the first character of line `index` to the first character
    // of the next line (the end of the text for the last line), leaving the
    // caret there. Out-of-range indexes do nothing.
    void itemRemove(int index);
    // Adds an item: at the end for -1 or a line that does not exist, else
    // before line `position`, which it then becomes.
    void itemAdd(int position, QStringView text);
    // Caret after the last character, nothing selected.
    void caretToEnd();
    void clear();

    // An empty text counts as no line, unless an empty item was added to it;
    // that item is then one line, whose break comes with the next item.
    enum class EmptyItem {
        None,    // the ordinary case
        Alone,   // the text is empty but holds one empty item
        Broken,  // that empty item has since been given its break
    };
    EmptyItem emptyItem() const { return emptyItem_; }

    QString text() const;
    qint64 textLength() const;
    bool isEmptyText() const { return paras_.size() == 1 && paras_.front().text.isEmpty(); }
    // Displayed lines of the text as it stands (an empty text is one line).
    int lineCount() const;

    // Selection: anchor and caret positions, in [0, textLength()].
    qint64 anchor() const { return anchor_; }
    qint64 caret() const { return caret_; }
    void setSelection(qint64 anchor, qint64 caret);
    bool hasSelection() const { return anchor_ != caret_; }
    QString selectedText() const;
    QString textRange(qint64 from, qint64 to) const;

    // Paragraph geometry, for painting and hit testing.
    int paragraphCount() const { return static_cast<int>(paras_.size()); }
    const QString& paragraphText(int paragraph) const { return paras_[index(paragraph)].text; }
    qint64 paragraphStart(int paragraph) const;
    int paragraphFirstLine(int paragraph) const;
    int paragraphLines(int paragraph) const { return paras_[index(paragraph)].lines; }
    int paragraphOfLine(int line) const;
    int paragraphOfPosition(qint64 position) const;
    // Text position of the first character of a displayed line.
    qint64 lineStart(int line) const;
    int lineOfPosition(qint64 position) const;

    // Widest paragraph unwrapped, in pixels (cached per paragraph).
    double widestParagraph() const;

    // The wrapper's width, font or mode changed: count every line anew.
    void rewrapAll();

private:
    // Each paragraph carries its start position and first line as running
    // numbers that only matter relative to the first paragraph's, so that
    // trimming the front or appending at the end renumbers nothing else.
    struct Paragraph {
        QString text;
        qint64 start = 0;
        qint64 firstLine = 0;
        int lines = 1;
        mutable double width = -1;
    };

    static std::size_t index(int paragraph) { return static_cast<std::size_t>(paragraph); }
    void insertAt(qint64 position, QStringView text);
    void removeRange(qint64 from, qint64 to);
    // Keeps the storage of a paragraph's text that is going away, emptied,
    // for the next appended line, so that a log that trims its front as it
    // appends does not allocate for every line.
    void keepSpareText(QString& text);
    void rewrap(Paragraph& paragraph) const;
    // Restores the running numbers after paragraphs first..last changed.
    void renumber(std::size_t first, std::size_t last);
    struct Place {
        std::size_t paragraph;
        int offset;
    };
    Place locate(qint64 position) const;

    const LineWrapper& wrapper_;
    // The paragraphs come and go at the two ends, by the line at the rate of
    // the log; the recycler lets the deque reuse its blocks of storage
    // instead of freeing one and allocating another every few lines.
    BlockRecycler recycler_;
    std::deque<Paragraph, RecyclingAllocator<Paragraph>> paras_{
        RecyclingAllocator<Paragraph>(recycler_)};
    QString spareText_;
    EmptyItem emptyItem_ = EmptyItem::None;
    qint64 anchor_ = 0;
    qint64 caret_ = 0;
};

}  // namespace corvane
