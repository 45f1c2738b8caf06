#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>

#include "ui/DialogApi.h"
#include "ui/DialogDocument.h"
#include "ui/DialogText.h"
#include "ui/UiRegistry.h"

namespace corvane {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const int xml = registry.xmlParse(dialogDocument);
        ASSERT_EQ(registry.dialogOpen(dialog, xml, u"wndMain"), 1)
            << registry.dialogError(dialog).value_or("");
        EXPECT_TRUE(registry.xmlValid(xml));
        registry.xmlFree(xml);
        EXPECT_FALSE(registry.xmlValid(xml));
        window = registry.windowWidget(registry.dialogWindowHandle(dialog));
        ASSERT_NE(window, nullptr);
    }
    QRect geometry(std::u16string_view name) const {
        return registry.gadgetWidget(registry.dialogFind(dialog, name))->geometry();
    }
    void expectWorkedLayout(int dx, int dy) const {
        EXPECT_EQ(window->size(), QSize(593 + dx, 336 + dy));
        EXPECT_EQ(geometry(u"txtLog"), QRect(8, 8, 512 + dx, 320 + dy));
        EXPECT_EQ(geometry(u"button1"), QRect(525 + dx, 8, 60, 24));
        EXPECT_EQ(geometry(u"button2"), QRect(525 + dx, 37, 60, 24));
        EXPECT_EQ(geometry(u"container1"), QRect(525 + dx, 66, 60, 262 + dy));
        EXPECT_EQ(geometry(u"editor2"), QRect(10, 10, 40, 242 + dy));
    }

    UiRegistry registry;
    int dialog = registry.dialogNew();
    DialogWindow* window = nullptr;
};

TEST_F(MainWindowTest, OpensAtTheRequiredSizeShownAndLaidOut) {
    // The worked layout holds while a button is at most 60 wide.
    const QWidget* button = registry.gadgetWidget(registry.dialogFind(dialog, u"button1"));
    ASSERT_LE(QFontMetrics(button->font()).horizontalAdvance("1") + 14, 60);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->minimumSize(), QSize(593, 336));
    EXPECT_EQ(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    expectWorkedLayout(0, 0);
}

TEST_F(MainWindowTest, GrowingTheWindowLaysTheContentOutAtOnce) {
    window->resize(593 + 120, 336 + 45);
    expectWorkedLayout(120, 45);
    window->resize(593 + 7, 336);
    expectWorkedLayout(7, 0);
}

TEST_F(MainWindowTest, CannotBeSizedBelowTheContent) {
    window->resize(100, 100);
    EXPECT_EQ(window->size(), QSize(593, 336));
}

TEST_F(MainWindowTest, RelayoutNeverShrinksAndGrowsATooSmallWindow) {
    window->resize(700, 400);
    registry.dialogRelayout(dialog);
    expectWorkedLayout(107, 64);

    window->setMinimumSize(0, 0);
    window->resize(300, 200);
    registry.dialogRelayout(dialog);
    expectWorkedLayout(0, 0);
    EXPECT_EQ(window->minimumSize(), QSize(593, 336));
}

TEST_F(MainWindowTest, SizeHookCanBeChainedByTheEventLayer) {
    std::vector<QSize> seen;
    auto relayout = window->sizeChangedHook();
    ASSERT_TRUE(relayout);
    window->setSizeChangedHook([&seen, relayout](int w, int h) {
        relayout(w, h);
        seen.emplace_back(w, h);
    });
    window->resize(650, 350);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back(), QSize(650, 350));
    expectWorkedLayout(57, 14);
}

TEST_F(MainWindowTest, TitleAndHandles) {
    const int handle = registry.dialogWindowHandle(dialog);
    EXPECT_EQ(window->windowTitle(), "");
    EXPECT_EQ(registry.titleSet(handle, std::nullopt), 0);
    EXPECT_EQ(registry.titleSet(handle + 1, u"x"), 0);
    EXPECT_NE(registry.titleSet(handle, u"Corvane 1.0.0.2"), 0);
    EXPECT_EQ(window->windowTitle(), "Corvane 1.0.0.2");
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    registry.dialogFree(dialog);
    EXPECT_EQ(registry.dialogWindowHandle(dialog), -1);
    EXPECT_EQ(registry.dialogFind(dialog, u"txtLog"), -1);
    EXPECT_EQ(registry.windowWidget(handle), nullptr);
    EXPECT_EQ(registry.titleSet(handle, u"gone"), 0);
    registry.dialogRelayout(dialog);  // nothing to do, nothing breaks
}

TEST(DialogWindow, MinimumWidthRaisesTheContent) {
    UiRegistry registry;
    const int dialog = registry.dialogNew();
    const int xml = registry.xmlParse(
        u"<window flags='#WG_Window_SizeGadget|#WG_Window_Invisible' minwidth='700' "
        u"maxheight='auto'><editor name='e' width='100' height='50'/></window>");
    ASSERT_EQ(registry.dialogOpen(dialog, xml, u""), 1);
    auto* window = registry.windowWidget(registry.dialogWindowHandle(dialog));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(700, 66));
    EXPECT_EQ(window->minimumWidth(), 700);
    EXPECT_EQ(window->maximumHeight(), 66);
    EXPECT_EQ(registry.gadgetWidget(registry.dialogFind(dialog, u"e"))->geometry(),
              QRect(8, 8, 684, 50));
}

TEST(DialogWindow, WithoutSizingBorderKeepsItsSize) {
    UiRegistry registry;
    const int dialog = registry.dialogNew();
    const int xml = registry.xmlParse(
        u"<window flags='#WG_Window_SystemMenu|#WG_Window_Invisible'>"
        u"<editor width='100' height='50'/></window>");
    ASSERT_EQ(registry.dialogOpen(dialog, xml, u""), 1);
    auto* window = registry.windowWidget(registry.dialogWindowHandle(dialog));
    window->resize(300, 300);
    EXPECT_EQ(window->size(), QSize(116, 66));
}

TEST(DialogApi, ThreadRegistryServesTheFreeFunctions) {
    const int xml = xmlParse(dialogDocument);
    const int dialog = dialogNew();
    EXPECT_EQ(dialogOpen(dialog + 1000, xml, u"wndMain"), 0);
    ASSERT_EQ(dialogOpen(dialog, xml, u"wndMain"), 1);
    xmlFree(xml);
    const int window = dialogWindowHandle(dialog);
    EXPECT_EQ(windowWidget(window), uiRegistry().windowWidget(window));
    EXPECT_NE(gadgetWidget(dialogFind(dialog, u"txtLog")), nullptr);
    EXPECT_EQ(titleSet(window, u"t"), 1);
    dialogRelayout(dialog);
    dialogFree(dialog);
    EXPECT_EQ(dialogFind(dialog, u"txtLog"), -1);
    uiCleanup();
    EXPECT_FALSE(xmlValid(xml));
}

}  // namespace
}  // namespace corvane
