#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <deque>
#include <vector>

#include "ui/BlockRecycler.h"
#include "ui/EmptyLineState.h"
#include "ui/LogViewWrap.h"

namespace corvane {

// The text of the log view with the line operations of the program's editor
// gadgets. The text is a sequence of paragraphs (items) joined by one break
// character each, none after the last. Lines are the displayed lines: a
// paragraph the wrapper breaks in k lines counts k. Positions are character
// offsets into the text, a break counting one. The model is read-only for the
// user; it keeps no undo history. Not thread-safe.
//
// Each paragraph is broken into lines once, when it comes, and keeps its
// line starts. Removing the first displayed line of a paragraph (the log's
// trim) leaves its other lines as they were shown and costs nothing however
// long the paragraph is; only an edit inside a paragraph breaks it again.
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

    using EmptyItem = corvane::EmptyItem;
    EmptyItem emptyItem() const { return emptyLine_.item(); }

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
    QStringView paragraphText(int paragraph) const { return paras_[index(paragraph)].shown(); }
    qint64 paragraphStart(int paragraph) const;
    int paragraphFirstLine(int paragraph) const;
    int paragraphLines(int paragraph) const { return paras_[index(paragraph)].lines(); }
    int paragraphOfLine(int line) const;
    int paragraphOfPosition(qint64 position) const;
    // Text position of the first character of a displayed line.
    qint64 lineStart(int line) const;
    // The characters of a displayed line, the spaces it ends with included.
    QStringView lineText(int line) const;
    int lineOfPosition(qint64 position) const;

    // What the view keeps beside a paragraph (the log's lines: who asked
    // their query), an opaque number; 0 for none. A paragraph keeps its
    // note through trims and edits; one made by an insertion has none.
    std::uint64_t paragraphNote(int paragraph) const { return paras_[index(paragraph)].note; }
    void setParagraphNote(int paragraph, std::uint64_t note) {
        paras_[index(paragraph)].note = note;
    }

    // Widest paragraph unwrapped, in pixels (cached per paragraph).
    double widestParagraph() const;

    // The wrapper's width, font or mode changed: count every line anew.
    void rewrapAll();

private:
    // Each paragraph carries its start position and first line as running
    // numbers that only matter relative to the first paragraph's, so that
    // trimming the front or appending at the end renumbers nothing else.
    // Lines trimmed from its front stay in its text, out of view, until the
    // paragraph goes or is edited. Whatever the view comes to show beside a
    // line belongs here, next to the paragraph's text.
    struct Paragraph {
        QString text;
        // Where each line starts in text; empty for a paragraph of one line.
        std::vector<int> starts;
        int trimmed = 0;
        qint64 start = 0;
        qint64 firstLine = 0;
        mutable double width = -1;
        std::uint64_t note = 0;

        int lines() const { return starts.empty() ? 1 : static_cast<int>(starts.size()) - trimmed; }
        int head() const { return starts.empty() ? 0 : starts[static_cast<std::size_t>(trimmed)]; }
        QStringView shown() const { return QStringView(text).sliced(head()); }
        qsizetype size() const { return text.size() - head(); }
        // Offset in shown() of its displayed line `line`.
        int lineOffset(int line) const;
    };

    static std::size_t index(int paragraph) { return static_cast<std::size_t>(paragraph); }
    // The paragraph's text for an edit: the trimmed lines leave it for good,
    // and its line starts with them, since the edit breaks it anew.
    static QString& editableText(Paragraph& paragraph);
    void insertAt(qint64 position, QStringView text);
    void removeRange(qint64 from, qint64 to);
    // Removes the first displayed line of a paragraph of several.
    void trimFirstLine(std::size_t paragraph);
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
    EmptyLineState emptyLine_;
    qint64 anchor_ = 0;
    qint64 caret_ = 0;
};

}  // namespace corvane
