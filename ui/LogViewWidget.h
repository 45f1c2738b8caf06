#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QStringView>
#include <QTextCharFormat>
#include <QTextLayout>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "ui/LogViewModel.h"
#include "ui/LogViewWrap.h"

class QPainter;

namespace corvane {

// What the log view shows of a paragraph's note (LogViewModel): the text of
// the tip that shows while the pointer rests on one of its lines, made only
// then. Implemented by the view's feeder, which knows what notes mean.
class LineNotes {
public:
    // Empty for no tip.
    virtual QString noteText(std::uint64_t note) = 0;

protected:
    ~LineNotes() = default;
};

// The log view: a read-only, word-wrapping, multi-line text view with the
// editor gadget's line operations (itemCount, itemRemove, itemAdd,
// caretToEnd). It keeps its text in a model and lays out and paints only the
// visible lines, so appending a line costs about the same however fast lines
// come, and a line of a long paragraph costs what a short one does. Model
// changes are visible at once through the operations; scrolling and
// repainting follow at most once per display frame, and at most five times a
// second while lines keep coming. The user can select with mouse and keyboard
// and copy, but never edit; there is no undo history.
class LogViewWidget final : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogViewWidget(QWidget* parent = nullptr);
    ~LogViewWidget() override;

    int itemCount() const { return model_.itemCount(); }
    void itemRemove(int index);
    void itemAdd(int position, QStringView text);
    void caretToEnd();
    void clear();
    LogViewModel::EmptyItem emptyItem() const { return model_.emptyItem(); }
    QString text() const { return model_.text(); }

    bool hasSelection() const { return model_.hasSelection(); }
    QString selectedText() const { return model_.selectedText(); }
    void setSelection(qint64 anchor, qint64 caret);
    void selectAll();
    void copy() const;

    void setWordWrap(bool on);
    bool wordWrap() const { return wrapper_.wrapping(); }

    // First displayed line at the top of the view.
    int firstVisibleLine() const;
    // Displayed lines that fit the view entirely.
    int visibleLineCount() const;
    // Applies pending scrolling and scroll ranges now instead of at the next
    // frame (the paint itself still comes through Qt).
    void flushFrame();
    // Milliseconds until the pending frame is due (0 when it is overdue), or
    // -1 when no frame is pending: a loop that pauses can wake for it.
    int msUntilFrame() const;

    // The note of a paragraph, shown through notes as its lines' tip; notes
    // null (the default) shows none. notes must outlive the view or be
    // taken back with nullptr.
    void setParagraphNote(int paragraph, std::uint64_t note) {
        model_.setParagraphNote(paragraph, note);
    }
    void setLineNotes(LineNotes* notes) { notes_ = notes; }
    // The tip for a point of the viewport: the note text of the line there;
    // empty below the last line, or when the line has no note.
    QString noteTextAt(QPoint point) const;

    const LogViewModel& model() const { return model_; }
    // How lines break, and what breaking and painting them has cost so far.
    const FontLineWrapper& wrapper() const { return wrapper_; }
    QSize sizeHint() const override;

signals:
    void focusChanged(bool focused);

protected:
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void textChanged();
    void scheduleFrame();
    void schedulePromptFrame();
    void frameTick();
    void updateScrollBars();
    void ensureCaretVisible();
    void applyFont();
    void applyWidth();
    void moveCaret(qint64 position, bool extend);
    void moveCaretByLines(int delta, bool extend);
    qint64 positionAt(QPoint point) const;
    double xOfPosition(qint64 position) const;
    qint64 positionAtLineX(int line, double x) const;
    int lineSpacing() const { return lineSpacing_; }
    // A displayed line laid out for painting: taken from the last frame's
    // layouts when one has the same text, else made; either way it joins
    // `used`, which becomes the cache after the frame.
    struct CachedLayout {
        QString text;
        std::unique_ptr<QTextLayout> layout;
    };
    QTextLayout& paintLayout(QStringView text, std::vector<CachedLayout>& used);
    // What painting one frame's lines shares.
    struct LinePainting {
        int left = 0;
        qint64 selectionFrom = 0;
        qint64 selectionTo = 0;
        QTextCharFormat selected;
        int caretLine = -1;  // none when the caret is not drawn
        std::vector<CachedLayout> used;
    };
    void paintLine(QPainter& painter, LinePainting& painting, int line, int y);

    FontLineWrapper wrapper_;
    // Layouts of the lines painted last, so that a frame lays out only the
    // lines that came since; dropped when the font, width or wrapping
    // changes.
    std::vector<CachedLayout> layouts_;
    LogViewModel model_;
    QTimer frameTimer_;
    int frameIntervalMs_ = 16;
    // When the last frame was shown; invalid before the first.
    QElapsedTimer lastFrame_;
    int lineSpacing_ = 1;
    LineNotes* notes_ = nullptr;
    bool scrollToCaret_ = false;
    bool selecting_ = false;
};

}  // namespace corvane
