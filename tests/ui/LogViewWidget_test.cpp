#include "ui/LogViewWidget.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <string>

#include "tests/ui/QtApp.h"
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
