#include "ui/LogViewWidget.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTextLayout>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "ui/Font.h"

namespace corvane {

namespace {

// Space between the view's border and the text, as editors leave it.
constexpr int TextMargin = 2;
constexpr int DefaultFrameMs = 16;
// While lines keep coming, the view catches up at most this often. Five
// frames a second still reads as live; a log that scrolls faster than a
// person reads gains nothing from more, and each frame lays out and paints
// the whole view (most of the program's processor time at 200 queries a
// second when frames came at the display's rate).
constexpr int ReadingPaceMs = 200;

int frameIntervalMs() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr || screen->refreshRate() < 1.0) {
        return DefaultFrameMs;
    }
    return std::clamp(static_cast<int>(std::lround(1000.0 / screen->refreshRate())), 4, 50);
}

bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

}  // namespace

LogViewWidget::LogViewWidget(QWidget* parent) : QAbstractScrollArea(parent), model_(wrapper_) {
    if (auto font = currentDefaultGadgetFont()) {
        setFont(*font);
    }
    setFocusPolicy(Qt::StrongFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(1);

    frameTimer_.setSingleShot(true);
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameIntervalMs_ = frameIntervalMs();
    connect(&frameTimer_, &QTimer::timeout, this, &LogViewWidget::frameTick);

    applyFont();
    applyWidth();
}

LogViewWidget::~LogViewWidget() = default;

QSize LogViewWidget::sizeHint() const {
    return {512, 320};
}

void LogViewWidget::itemRemove(int index) {
    model_.itemRemove(index);
    textChanged();
}

void LogViewWidget::itemAdd(int position, QStringView text) {
    model_.itemAdd(position, text);
    textChanged();
}

void LogViewWidget::caretToEnd() {
    model_.caretToEnd();
    scrollToCaret_ = true;
    scheduleFrame();
}

void LogViewWidget::clear() {
    model_.clear();
    textChanged();
}

void LogViewWidget::setSelection(qint64 anchor, qint64 caret) {
    model_.setSelection(anchor, caret);
    viewport()->update();
}

void LogViewWidget::selectAll() {
    setSelection(0, model_.textLength());
}

void LogViewWidget::copy() const {
    if (!model_.hasSelection()) {
        return;
    }
    QGuiApplication::clipboard()->setText(model_.selectedText());
}

void LogViewWidget::setWordWrap(bool on) {
    if (on == wrapper_.wrapping()) {
        return;
    }
    wrapper_.setWrapping(on);
    layouts_.clear();
    model_.rewrapAll();
    if (on) {
        horizontalScrollBar()->setValue(0);
    }
    textChanged();
}

int LogViewWidget::firstVisibleLine() const {
    return verticalScrollBar()->value();
}

int LogViewWidget::visibleLineCount() const {
    return std::max(1, viewport()->height() / lineSpacing_);
}

void LogViewWidget::textChanged() {
    scheduleFrame();
}

void LogViewWidget::scheduleFrame() {
    // Lines may come by the tens of thousands a second: they only change the
    // model, and the view catches up in a single step one display frame
    // later, or, while lines keep coming, once the reading pace allows.
    if (frameTimer_.isActive()) {
        return;
    }
    int delay = frameIntervalMs_;
    if (lastFrame_.isValid()) {
        delay = std::max(delay, ReadingPaceMs - static_cast<int>(std::min<qint64>(
                                                    lastFrame_.elapsed(), ReadingPaceMs)));
    }
    frameTimer_.start(delay);
}

void LogViewWidget::schedulePromptFrame() {
    // A new size must not wait for the reading pace: the scroll ranges
    // follow within one display frame.
    if (!frameTimer_.isActive() || frameTimer_.remainingTime() > frameIntervalMs_) {
        frameTimer_.start(frameIntervalMs_);
    }
}

void LogViewWidget::flushFrame() {
    frameTimer_.stop();
    frameTick();
}

int LogViewWidget::msUntilFrame() const {
    if (!frameTimer_.isActive()) {
        return -1;
    }
    return std::max(0, frameTimer_.remainingTime());
}

void LogViewWidget::frameTick() {
    lastFrame_.start();
    updateScrollBars();
    if (scrollToCaret_) {
        scrollToCaret_ = false;
        ensureCaretVisible();
    }
    viewport()->update();
}

void LogViewWidget::updateScrollBars() {
    QScrollBar* vertical = verticalScrollBar();
    const int visible = visibleLineCount();
    vertical->setPageStep(visible);
    vertical->setRange(0, std::max(0, model_.lineCount() - visible));

    QScrollBar* horizontal = horizontalScrollBar();
    if (wrapper_.wrapping()) {
        horizontal->setRange(0, 0);
    } else {
        const int content = static_cast<int>(std::ceil(model_.widestParagraph())) + 2 * TextMargin;
        horizontal->setPageStep(viewport()->width());
        horizontal->setSingleStep(std::max(1, lineSpacing_));
        horizontal->setRange(0, std::max(0, content - viewport()->width()));
    }
}

void LogViewWidget::ensureCaretVisible() {
    updateScrollBars();
    const int line = model_.lineOfPosition(model_.caret());
    QScrollBar* vertical = verticalScrollBar();
    const int visible = visibleLineCount();
    if (line < vertical->value()) {
        vertical->setValue(line);
    } else if (line >= vertical->value() + visible) {
        vertical->setValue(line - visible + 1);
    }
    if (!wrapper_.wrapping()) {
        QScrollBar* horizontal = horizontalScrollBar();
        const int x = static_cast<int>(xOfPosition(model_.caret()));
        const int width = viewport()->width() - 2 * TextMargin;
        if (x < horizontal->value()) {
            horizontal->setValue(x);
        } else if (x > horizontal->value() + width) {
            horizontal->setValue(x - width);
        }
    }
}

void LogViewWidget::applyFont() {
    wrapper_.setFont(font());
    layouts_.clear();
    lineSpacing_ = std::max(1, QFontMetrics(font()).lineSpacing());
    verticalScrollBar()->setSingleStep(1);
    model_.rewrapAll();
    textChanged();
}

void LogViewWidget::applyWidth() {
    const int width = std::max(1, viewport()->width() - 2 * TextMargin);
    if (width == wrapper_.width()) {
        return;
    }
    wrapper_.setWidth(width);
    layouts_.clear();
    if (wrapper_.wrapping()) {
        model_.rewrapAll();
    }
    textChanged();
}

void LogViewWidget::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    applyWidth();
    schedulePromptFrame();
}

void LogViewWidget::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        applyFont();
    }
}

void LogViewWidget::scrollContentsBy(int, int) {
    viewport()->update();
}

QTextLayout& LogViewWidget::paintLayout(QStringView text, std::vector<CachedLayout>& used) {
    for (CachedLayout& cached : layouts_) {
        if (cached.layout != nullptr && cached.text == text) {
            used.push_back(std::move(cached));
            return *used.back().layout;
        }
    }
    auto layout = std::make_unique<QTextLayout>(text.toString(), font());
    // Keeps the shaped glyphs for drawing, now and in later frames, instead
    // of shaping the text once more to draw it.
    layout->setCacheEnabled(true);
    wrapper_.layOutLine(*layout);
    used.push_back({layout->text(), std::move(layout)});
    return *used.back().layout;
}

void LogViewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QRect area = viewport()->rect();
    painter.fillRect(area, palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Text));
    if (model_.isEmptyText()) {
        if (hasFocus()) {
            painter.drawLine(TextMargin, 0, TextMargin, lineSpacing_ - 1);
        }
        return;
    }

    LinePainting painting;
    painting.left = TextMargin - horizontalScrollBar()->value();
    painting.selectionFrom = std::min(model_.anchor(), model_.caret());
    painting.selectionTo = std::max(model_.anchor(), model_.caret());
    painting.selected.setBackground(palette().color(QPalette::Highlight));
    painting.selected.setForeground(palette().color(QPalette::HighlightedText));
    painting.caretLine =
        hasFocus() && !model_.hasSelection() ? model_.lineOfPosition(model_.caret()) : -1;
    painting.used.reserve(layouts_.size() + 4);
    // Only the lines in view are laid out, each on its own, however long the
    // paragraph they belong to.
    const int top = firstVisibleLine();
    for (int line = top; line < model_.lineCount(); ++line) {
        const int y = (line - top) * lineSpacing_;
        if (y >= area.height()) {
            break;
        }
        paintLine(painter, painting, line, y);
    }
    layouts_ = std::move(painting.used);
}

void LogViewWidget::paintLine(QPainter& painter, LinePainting& painting, int line, int y) {
    const QStringView text = model_.lineText(line);
    const qint64 start = model_.lineStart(line);
    QTextLayout& layout = paintLayout(text, painting.used);
    QList<QTextLayout::FormatRange> selections;
    // The selection stays drawn when the view loses the focus.
    const qint64 from = std::max(painting.selectionFrom, start);
    const qint64 to = std::min(painting.selectionTo, start + text.size());
    if (from < to) {
        selections.push_back(
            {static_cast<int>(from - start), static_cast<int>(to - from), painting.selected});
    }
    const QPointF at(painting.left, y);
    layout.draw(&painter, at, selections, viewport()->rect());
    if (line == painting.caretLine) {
        layout.drawCursor(&painter, at, static_cast<int>(model_.caret() - start));
    }
}

qint64 LogViewWidget::positionAtLineX(int line, double x) const {
    line = std::clamp(line, 0, model_.lineCount() - 1);
    const QStringView text = model_.lineText(line);
    QTextLayout layout(text.toString(), font());
    wrapper_.layOutLine(layout);
    int offset = layout.lineCount() > 0 ? layout.lineAt(0).xToCursor(x) : 0;
    // Past the end of a line that wraps, the caret stays on that line, before
    // its last character, as in any editor.
    const int paragraph = model_.paragraphOfLine(line);
    const bool lastOfParagraph =
        line + 1 >= model_.paragraphFirstLine(paragraph) + model_.paragraphLines(paragraph);
    if (!lastOfParagraph && offset >= text.size() && !text.isEmpty()) {
        offset = static_cast<int>(text.size()) - 1;
    }
    return model_.lineStart(line) + offset;
}

qint64 LogViewWidget::positionAt(QPoint point) const {
    const int row = point.y() < 0 ? -1 : point.y() / lineSpacing_;
    const double x = point.x() - TextMargin + horizontalScrollBar()->value();
    return positionAtLineX(firstVisibleLine() + row, x);
}

double LogViewWidget::xOfPosition(qint64 position) const {
    const int line = model_.lineOfPosition(position);
    QTextLayout layout(model_.lineText(line).toString(), font());
    wrapper_.layOutLine(layout);
    const int offset = static_cast<int>(position - model_.lineStart(line));
    return layout.lineCount() > 0 ? layout.lineAt(0).cursorToX(offset) : 0.0;
}

void LogViewWidget::moveCaret(qint64 position, bool extend) {
    model_.setSelection(extend ? model_.anchor() : position, position);
    ensureCaretVisible();
    viewport()->update();
}

void LogViewWidget::moveCaretByLines(int delta, bool extend) {
    const int line = model_.lineOfPosition(model_.caret());
    const double x = xOfPosition(model_.caret());
    moveCaret(positionAtLineX(line + delta, x), extend);
}

void LogViewWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    selecting_ = true;
    moveCaret(positionAt(event->position().toPoint()),
              event->modifiers().testFlag(Qt::ShiftModifier));
}

void LogViewWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_ || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    moveCaret(positionAt(event->position().toPoint()), true);
}

void LogViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    selecting_ = false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (model_.hasSelection() && clipboard->supportsSelection()) {
        clipboard->setText(model_.selectedText(), QClipboard::Selection);
    }
}

void LogViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const qint64 position = positionAt(event->position().toPoint());
    const int paragraph = model_.paragraphOfPosition(position);
    const QStringView text = model_.paragraphText(paragraph);
    const qint64 start = model_.paragraphStart(paragraph);
    qsizetype from = static_cast<qsizetype>(position - start);
    qsizetype to = from;
    while (from > 0 && isWordChar(text[from - 1])) {
        --from;
    }
    while (to < text.size() && isWordChar(text[to])) {
        ++to;
    }
    selecting_ = false;
    setSelection(start + from, start + to);
}

void LogViewWidget::keyPressEvent(QKeyEvent* event) {
    using K = QKeySequence;
    const auto is = [event](K::StandardKey move, K::StandardKey select) {
        return event->matches(move) || event->matches(select);
    };
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    const qint64 caret = model_.caret();
    const int line = model_.lineOfPosition(caret);
    if (event->matches(K::Copy)) {
        copy();
    } else if (event->matches(K::SelectAll)) {
        selectAll();
    } else if (is(K::MoveToNextChar, K::SelectNextChar)) {
        moveCaret(std::min(caret + 1, model_.textLength()), extend);
    } else if (is(K::MoveToPreviousChar, K::SelectPreviousChar)) {
        moveCaret(std::max<qint64>(caret - 1, 0), extend);
    } else if (is(K::MoveToNextLine, K::SelectNextLine)) {
        moveCaretByLines(1, extend);
    } else if (is(K::MoveToPreviousLine, K::SelectPreviousLine)) {
        moveCaretByLines(-1, extend);
    } else if (is(K::MoveToNextPage, K::SelectNextPage)) {
        moveCaretByLines(visibleLineCount(), extend);
    } else if (is(K::MoveToPreviousPage, K::SelectPreviousPage)) {
        moveCaretByLines(-visibleLineCount(), extend);
    } else if (is(K::MoveToStartOfLine, K::SelectStartOfLine)) {
        moveCaret(model_.lineStart(line), extend);
    } else if (is(K::MoveToEndOfLine, K::SelectEndOfLine)) {
        const int paragraph = model_.paragraphOfLine(line);
        const bool lastOfParagraph =
            line + 1 >= model_.paragraphFirstLine(paragraph) + model_.paragraphLines(paragraph);
        moveCaret(lastOfParagraph
                      ? model_.paragraphStart(paragraph) + model_.paragraphText(paragraph).size()
                      : model_.lineStart(line + 1) - 1,
                  extend);
    } else if (is(K::MoveToStartOfDocument, K::SelectStartOfDocument)) {
        moveCaret(0, extend);
    } else if (is(K::MoveToEndOfDocument, K::SelectEndOfDocument)) {
        moveCaret(model_.textLength(), extend);
    } else {
        // Read-only: typing changes nothing; Tab still moves the focus.
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void LogViewWidget::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(tr("Copy"), this, &LogViewWidget::copy);
    copyAction->setEnabled(model_.hasSelection());
    QAction* selectAllAction = menu.addAction(tr("Select All"), this, &LogViewWidget::selectAll);
    selectAllAction->setEnabled(!model_.isEmptyText());
    menu.exec(event->globalPos());
}

QString LogViewWidget::noteTextAt(QPoint point) const {
    if (notes_ == nullptr || point.y() < 0 || model_.isEmptyText()) {
        return {};
    }
    const int line = firstVisibleLine() + point.y() / lineSpacing_;
    if (line >= model_.lineCount()) {
        return {};
    }
    const std::uint64_t note = model_.paragraphNote(model_.paragraphOfLine(line));
    return note == 0 ? QString() : notes_->noteText(note);
}

// The tip is made when the pointer comes to rest, from the line under it:
// nothing is spent on lines nobody points at. It goes when the pointer
// leaves that line; a line without a note leaves the event to the view's
// own tip, if it has one.
bool LogViewWidget::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QAbstractScrollArea::viewportEvent(event);
    }
    const auto* help = static_cast<QHelpEvent*>(event);
    const QString text = noteTextAt(help->pos());
    if (text.isEmpty()) {
        QToolTip::hideText();
        return QAbstractScrollArea::viewportEvent(event);
    }
    const int row = help->pos().y() / lineSpacing_;
    QToolTip::showText(help->globalPos(), text, viewport(),
                       QRect(0, row * lineSpacing_, viewport()->width(), lineSpacing_));
    return true;
}

void LogViewWidget::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
    emit focusChanged(true);
}

void LogViewWidget::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
    emit focusChanged(false);
}

}  // namespace corvane
