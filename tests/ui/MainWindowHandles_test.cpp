#include "ui/MainWindowHandles.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "tests/ui/QtApp.h"
#include "ui/DialogApi.h"
#include "ui/EventPoll.h"
#include "ui/LogViewWidget.h"

namespace corvane {
namespace {

using test::drainPoll;
using test::pollFor;

// The program's window as startup leaves it, torn down as the program's
// shutdown does.
class ProgramWindowTest : public testing::Test {
protected:
    void SetUp() override {
        test::ensureQtApp();
        uiEventQueue().clear();
        main = openMainWindow();
        ASSERT_GT(main.window, 0);
        window = windowWidget(main.window);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(drainPoll());
    }
    void TearDown() override {
        uiCleanup();
        uiEventQueue().clear();
    }
    QWidget* gadget(std::u16string_view name) const {
        return gadgetWidget(dialogFind(main.dialog, name));
    }

    MainWindowHandles main;
    DialogWindow* window = nullptr;
};

TEST_F(ProgramWindowTest, StartupTitlesTheWindowAndGivesTheButtonsTheirTooltips) {
    EXPECT_EQ(window->windowTitle(), "Corvane 1.0.0.2");
    EXPECT_TRUE(window->isVisible());
    for (std::u16string_view name : {u"button1", u"button2"}) {
        auto* button = qobject_cast<QAbstractButton*>(gadget(name));
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->toolTip(), "does nothing");
    }
    // The captions stay as the document gives them.
    EXPECT_EQ(qobject_cast<QAbstractButton*>(gadget(u"button1"))->text(), "1");
    EXPECT_EQ(qobject_cast<QAbstractButton*>(gadget(u"button2"))->text(), "2");
}

TEST_F(ProgramWindowTest, LogViewIsTheReadOnlyEditorInTheGadgetFont) {
    ASSERT_NE(main.logView, nullptr);
    EXPECT_EQ(main.logView, gadget(u"TXTLOG"));
    EXPECT_TRUE(main.logView->wordWrap());
    EXPECT_EQ(main.logView->itemCount(), 0);
    // "Consolas" 10 points at the offscreen display's 96 dots per inch.
    EXPECT_EQ(main.logView->font().pixelSize(), 13);
    EXPECT_EQ(gadget(u"button1")->font().pixelSize(), 13);
    EXPECT_EQ(dialogFind(main.dialog, u"hbox1"), -1);
    EXPECT_EQ(dialogFind(main.dialog, u"wndMain"), -1);
}

TEST_F(ProgramWindowTest, WindowIsCentredOnTheScreen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect frame = window->frameGeometry();
    EXPECT_EQ(frame.x(), (screen.width() - std::min(screen.width(), frame.width())) / 2);
    EXPECT_EQ(frame.y(), (screen.height() - std::min(screen.height(), frame.height())) / 2);
}

TEST_F(ProgramWindowTest, CloseRequestIsPolledAsCloseEventAndTheWindowStays) {
    window->windowHandle()->close();  // what the close box does
    EXPECT_TRUE(pollFor(CloseEvent));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(windowWidget(main.window), window);
    EXPECT_NE(dialogFind(main.dialog, u"txtLog"), -1);
}

TEST_F(ProgramWindowTest, UserResizeLaysOutBeforeThePollReturnsAndStopsAtTheContent) {
    const QSize required = window->size();
    EXPECT_EQ(window->minimumSize(), required);
    const int logWidth = gadget(u"txtLog")->width();

    // A resize that comes from the window system, as dragging the border does.
    window->windowHandle()->resize(required + QSize(100, 50));
    int code = 0;
    for (int i = 0; i < 100 && window->size() == required; ++i) {
        code = eventPoll();
    }
    EXPECT_NE(code, 0);
    EXPECT_EQ(window->size(), required + QSize(100, 50));
    EXPECT_EQ(gadget(u"txtLog")->width(), logWidth + 100);
    // The event itself comes with a later poll.
    EXPECT_TRUE(pollFor(SizeEvent));

    window->resize(10, 10);
    EXPECT_EQ(window->size(), required);
}

// Takes the gadget events out of the queue, oldest first; others are dropped.
std::vector<Event> takeGadgetEvents() {
    std::vector<Event> events;
    while (auto event = uiEventQueue().pop()) {
        if (event->code == GadgetEvent) {
            events.push_back(*event);
        }
    }
    return events;
}

TEST_F(ProgramWindowTest, ButtonClicksAndEditorFocusAreGadgetEvents) {
    const int button = dialogFind(main.dialog, u"button1");
    const int log = dialogFind(main.dialog, u"txtLog");
    window->activateWindow();
    for (int i = 0; i < 1000 && !window->isActiveWindow(); ++i) {
        eventPoll();
    }
    ASSERT_TRUE(window->isActiveWindow());
    gadget(u"button2")->setFocus();
    uiEventQueue().clear();

    // The poll returns the event's code, not a platform number.
    QTest::mouseClick(gadget(u"button1"), Qt::LeftButton);
    EXPECT_TRUE(pollFor(GadgetEvent));
    uiEventQueue().clear();

    QTest::mouseClick(gadget(u"button1"), Qt::LeftButton);
    main.logView->setFocus();
    gadget(u"button2")->setFocus();
    EXPECT_EQ(takeGadgetEvents(), (std::vector<Event>{{GadgetEvent, button, main.window, 0},
                                                      {GadgetEvent, log, main.window, 14000},
                                                      {GadgetEvent, log, main.window, 14001}}));
}

TEST_F(ProgramWindowTest, EditorLineOperationsByHandle) {
    const int log = dialogFind(main.dialog, u"txtLog");
    itemAdd(log, -1, std::nullopt);
    EXPECT_EQ(itemCount(log), 1);
    itemAdd(log, -1, u"X");
    EXPECT_EQ(main.logView->text(), "\nX");
    itemAdd(log, 0, u"N");
    EXPECT_EQ(main.logView->text(), "N\n\nX");
    itemRemove(log, 0);
    itemRemove(log, 0);
    itemRemove(log, 0);
    EXPECT_EQ(itemCount(log), 0);
    caretToEnd(log);

    // Handles that are no editor's: nothing happens.
    for (int other : {dialogFind(main.dialog, u"button1"), -1, 0, 9999}) {
        itemAdd(other, -1, u"lost");
        itemRemove(other, 0);
        caretToEnd(other);
        EXPECT_EQ(itemCount(other), 0);
    }
    EXPECT_EQ(itemCount(log), 0);
}

// The same line operations on the read-only log view and on the editable
// credit line.
class EditorLineTest : public ProgramWindowTest,
                       public testing::WithParamInterface<std::u16string_view> {
protected:
    QString text() const {
        QWidget* editor = gadget(GetParam());
        if (auto* view = qobject_cast<LogViewWidget*>(editor)) {
            return view->text();
        }
        return qobject_cast<QPlainTextEdit*>(editor)->toPlainText();
    }
    qint64 caret() const {
        QWidget* editor = gadget(GetParam());
        if (auto* view = qobject_cast<LogViewWidget*>(editor)) {
            return view->model().caret();
        }
        return qobject_cast<QPlainTextEdit*>(editor)->textCursor().position();
    }
    // Removes line 0 until nothing is left; false if that never happens.
    bool empty(int editor) const {
        for (int i = 0; i < 1000 && itemCount(editor) > 0; ++i) {
            itemRemove(editor, 0);
        }
        return itemCount(editor) == 0 && text().isEmpty();
    }
};

TEST_P(EditorLineTest, ItemsAreAddedAndRemovedByLine) {
    const int editor = dialogFind(main.dialog, GetParam());
    ASSERT_TRUE(empty(editor));
    itemAdd(editor, -1, std::nullopt);
    EXPECT_EQ(itemCount(editor), 1);
    EXPECT_EQ(text(), "");
    itemAdd(editor, -1, u"X");
    EXPECT_EQ(text(), "\nX");
    EXPECT_EQ(itemCount(editor), 2);
    itemRemove(editor, 0);
    itemRemove(editor, 0);
    EXPECT_EQ(text(), "");
    EXPECT_EQ(itemCount(editor), 0);

    itemAdd(editor, -1, u"A");
    itemAdd(editor, -1, u"B");
    itemAdd(editor, 0, u"N");
    EXPECT_EQ(text(), "N\nA\nB");
    EXPECT_EQ(itemCount(editor), 3);
    caretToEnd(editor);
    EXPECT_EQ(caret(), 5);
}

TEST_P(EditorLineTest, AWrappedItemCountsItsDisplayedLines) {
    const int editor = dialogFind(main.dialog, GetParam());
    ASSERT_TRUE(empty(editor));
    const QString words = QStringLiteral("word ").repeated(200);
    itemAdd(editor, -1, words.toStdU16String());
    const int lines = itemCount(editor);
    EXPECT_GE(lines, 2);
    // Removing line 0 takes only its first displayed line.
    itemRemove(editor, 0);
    EXPECT_EQ(itemCount(editor), lines - 1);
    EXPECT_FALSE(text().isEmpty());
    EXPECT_TRUE(words.endsWith(text()));
}

INSTANTIATE_TEST_SUITE_P(Editors, EditorLineTest,
                         testing::Values(std::u16string_view(u"txtLog"),
                                         std::u16string_view(u"editor2")),
                         [](const testing::TestParamInfo<std::u16string_view>& row) {
                             return row.param == u"txtLog" ? "LogView" : "EditableEditor";
                         });

TEST(ProgramWindowWithoutDocument, FailedOpenLeavesNoWindowAndFindsNothing) {
    test::ensureQtApp();
    const int dialog = dialogNew();
    const int xml = xmlParse(u"<window name='other'/>");
    EXPECT_EQ(dialogOpen(dialog, xml, u"wndMain"), 0);
    xmlFree(xml);
    EXPECT_EQ(dialogWindowHandle(dialog), -1);
    EXPECT_EQ(dialogFind(dialog, u"txtLog"), -1);
    EXPECT_EQ(titleSet(dialogWindowHandle(dialog), u"title"), 0);
    uiCleanup();
}

}  // namespace
}  // namespace corvane
