#include "ui/LogViewWidget.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <string>

#include "tests/ui/QtApp.h"
#include "ui/Font.h"
#include "ui/LogViewSink.h"

namespace corvane {
namespace {

class LogViewWidgetTest : public testing::Test {
protected:
    void SetUp() override {
        view.resize(240, 160);
        view.show();
        QCoreApplication::processEvents();
    }

    void appendLines(LogViewSink& sink, int from, int to) {
        for (int i = from; i < to; ++i) {
            const std::u16string line = u"line " + QString::number(i).toStdU16String();
            sink.appendLine(line);
        }
    }

    void click(QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent press(QEvent::MouseButtonPress, at, view.viewport()->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, modifiers);
        QCoreApplication::sendEvent(view.viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, view.viewport()->mapToGlobal(at),
                            Qt::LeftButton, Qt::NoButton, modifiers);
        QCoreApplication::sendEvent(view.viewport(), &release);
    }

    void key(int code, Qt::KeyboardModifiers modifiers) {
        QKeyEvent press(QEvent::KeyPress, code, modifiers);
        QCoreApplication::sendEvent(&view, &press);
    }

    // Declared first: the application must exist before any widget.
    QApplication& app = test::ensureQtApp();
    LogViewWidget view;
};

TEST_F(LogViewWidgetTest, ItemWiderThanTheViewWrapsAndLosesOnlyItsFirstLine) {
    const QString wide = QStringLiteral("word ").repeated(60);
    view.itemAdd(-1, wide);
    view.itemAdd(-1, u"short");
    const int wrapped = view.itemCount() - 1;
    ASSERT_GE(wrapped, 2);
    view.itemRemove(0);
    EXPECT_EQ(view.itemCount(), wrapped);
    const QString rest = view.text();
    EXPECT_TRUE(rest.endsWith(u"\nshort"));
    EXPECT_TRUE(wide.endsWith(rest.first(rest.size() - 6)));
    EXPECT_LT(rest.size(), wide.size() + 6);

    view.setWordWrap(false);
    EXPECT_EQ(view.itemCount(), 2);
    view.flushFrame();
    EXPECT_GT(view.horizontalScrollBar()->maximum(), 0);
}

TEST_F(LogViewWidgetTest, NarrowingTheViewWrapsMoreLines) {
    view.itemAdd(-1, QStringLiteral("abc ").repeated(20));
    const int wide = view.itemCount();
    view.resize(120, 160);
    QCoreApplication::processEvents();
    EXPECT_GT(view.itemCount(), wide);
}

TEST_F(LogViewWidgetTest, SinkCapsTheViewAtOneLineOverTheLimit) {
    LogViewSink sink(&view);
    appendLines(sink, 0, 1281);
    EXPECT_EQ(view.itemCount(), 1281);
    EXPECT_TRUE(view.text().startsWith(u"line 0\n"));
    appendLines(sink, 1281, 1300);
    EXPECT_EQ(view.itemCount(), 1281);
    EXPECT_TRUE(view.text().startsWith(u"line 19\nline 20\n"));
    EXPECT_TRUE(view.text().endsWith(u"\nline 1299"));
    EXPECT_FALSE(view.hasSelection());
    EXPECT_EQ(view.model().caret(), view.model().textLength());

    view.flushFrame();
    EXPECT_EQ(view.firstVisibleLine() + view.visibleLineCount(), view.itemCount());
}

TEST_F(LogViewWidgetTest, AFrameIsDueOnlyWhileLinesWaitToBeShown) {
    view.flushFrame();
    EXPECT_EQ(view.msUntilFrame(), -1);

    LogViewSink sink(&view);
    appendLines(sink, 0, 3);
    const int due = view.msUntilFrame();
    EXPECT_GE(due, 0);
    EXPECT_LE(due, 200) << "at most a fifth of a second away";

    view.flushFrame();
    EXPECT_EQ(view.msUntilFrame(), -1);
}

TEST_F(LogViewWidgetTest, LinesThatKeepComingAreShownAtAReadingPaceButANewSizeAtOnce) {
    LogViewSink sink(&view);
    appendLines(sink, 0, 3);
    view.flushFrame();
    QElapsedTimer sinceFrame;
    sinceFrame.start();
    appendLines(sink, 3, 6);
    const int due = view.msUntilFrame();
    EXPECT_LE(due, 200);
    EXPECT_GE(due + sinceFrame.elapsed() + 1, 200) << "a fifth of a second after the last frame";

    view.resize(view.width() + 40, view.height());
    EXPECT_LE(view.msUntilFrame(), 50) << "a new size is shown within a display frame";
}

TEST_F(LogViewWidgetTest, SinkStaysBoundedWhenEntriesWrap) {
    LogViewSink sink(&view);
    const std::u16string wide = QStringLiteral("wrapping entry ").repeated(12).toStdU16String();
    for (int i = 0; i < 3000; ++i) {
        sink.appendLine(wide);
    }
    EXPECT_GT(view.itemCount(), LogViewSink::MaxLinesBeforeTrim);
    EXPECT_LE(view.itemCount(), LogViewSink::MaxLinesBeforeTrim + 20);
}

// A query whose name is logged as `length` characters: bytes 0x01 in labels
// of 63, each byte written as "\x01", the shape that stalled the view.
std::u16string hostileLine(std::size_t length) {
    std::u16string line = u"12:00:00 | Q  [BEEF] : ";
    for (int inLabel = 0; line.size() < length; ++inLabel) {
        line += inLabel % 64 == 63 ? u"." : u"\\x01";
    }
    line.resize(length);
    return line;
}

// Characters of the lines the next paint may lay out: those in view.
qint64 charactersInView(const LogViewWidget& view) {
    qint64 characters = 0;
    const int end =
        std::min(view.model().lineCount(), view.firstVisibleLine() + view.visibleLineCount() + 1);
    for (int line = view.firstVisibleLine(); line < end; ++line) {
        characters += view.model().lineText(line).size();
    }
    return characters;
}

// The remote stall, as a count: with the view at its cap, lines of
// thousands of characters come and are trimmed away again line by line,
// with a frame painted after each. Every long line is laid out once when it
// comes, each frame lays out at most the lines in view, and trimming lays
// out nothing: before, trimming an entry of k lines and n characters laid out
// about k times n characters, and each frame the whole paragraph.
class LogViewLongLines : public LogViewWidgetTest, public testing::WithParamInterface<int> {};

TEST_P(LogViewLongLines, EachLongLineIsLaidOutOnceAndTrimmingLaysOutNothing) {
    view.setFont(*fontFromHandle(fontOpen(u"Consolas", 10)));
    view.resize(600, 360);
    QCoreApplication::processEvents();
    LogViewSink sink(&view);
    appendLines(sink, 0, 1600);
    const auto frame = [this](qint64& allowed) {
        view.flushFrame();
        allowed += charactersInView(view);
        view.viewport()->repaint();
    };
    qint64 allowed = 0;
    frame(allowed);

    const qint64 start = view.wrapper().charactersLaidOut();
    allowed = 0;
    const std::u16string line = hostileLine(static_cast<std::size_t>(GetParam()));
    const int longLines = GetParam() > 100000 ? 3 : 20;
    for (int i = 0; i < longLines; ++i) {
        sink.appendLine(line);
        allowed += static_cast<qint64>(line.size());
        frame(allowed);
    }
    const qint64 longLinesLaidOut = view.wrapper().charactersLaidOut() - start;
    EXPECT_GE(longLinesLaidOut, longLines * static_cast<qint64>(line.size()));
    EXPECT_LE(longLinesLaidOut, allowed);

    for (int i = 0; i < 1400; ++i) {
        appendLines(sink, 2000 + i, 2001 + i);
        if (i % 100 == 0) {
            frame(allowed);
        }
    }
    EXPECT_LE(view.wrapper().charactersLaidOut() - start, allowed);
    EXPECT_FALSE(view.text().contains(u"\\x01")) << "the long lines were all trimmed away";
    EXPECT_LE(view.itemCount(), LogViewSink::MaxLinesBeforeTrim + 1);
}

// Up to the longest name a 65,535-byte TCP message can carry, as logged.
INSTANTIATE_TEST_SUITE_P(Lengths, LogViewLongLines, testing::Values(1000, 8000, 260000));

TEST_F(LogViewWidgetTest, SinkDropsLinesOnceTheViewIsGone) {
    auto* doomed = new LogViewWidget;
    LogViewSink sink(doomed);
    sink.appendLine(u"kept");
    EXPECT_EQ(doomed->itemCount(), 1);
    delete doomed;
    sink.appendLine(u"nowhere");  // must not touch the deleted view (ASan would catch it)
}

TEST_F(LogViewWidgetTest, CopyPutsTheSelectionOnTheClipboard) {
    view.itemAdd(-1, u"alpha");
    view.itemAdd(-1, u"beta");
    view.setSelection(2, 8);
    view.copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "pha\nbe");

    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "alpha\nbeta");
}

TEST_F(LogViewWidgetTest, ClickAndShiftClickSelectAcrossLines) {
    for (const char16_t* line : {u"first", u"second", u"third"}) {
        view.itemAdd(-1, line);
    }
    view.flushFrame();
    const int spacing = QFontMetrics(view.font()).lineSpacing();
    click(QPoint(1, spacing / 2));
    EXPECT_FALSE(view.hasSelection());
    click(QPoint(view.viewport()->width() - 2, spacing * 2 + spacing / 2), Qt::ShiftModifier);
    EXPECT_EQ(view.selectedText(), "first\nsecond\nthird");

    key(Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(view.selectedText(), "first\nsecond\nthir");
    key(Qt::Key_Home, Qt::NoModifier);
    EXPECT_FALSE(view.hasSelection());
}

TEST_F(LogViewWidgetTest, ReadOnlyKeysLeaveTheTextAlone) {
    view.itemAdd(-1, u"fixed");
    for (int code : {Qt::Key_X, Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return}) {
        key(code, Qt::NoModifier);
    }
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(view.text(), "fixed");
}

}  // namespace
}  // namespace corvane
