#include "ui/Font.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QTextDocument>
#include <QWidget>

#include "tests/ui/QtApp.h"
#include "ui/LogViewWidget.h"
#include "ui/Tooltip.h"

namespace corvane {
namespace {

struct PixelCase {
    int points;
    int dpi;
    int pixels;
};

class FontPixelHeight : public testing::TestWithParam<PixelCase> {};

TEST_P(FontPixelHeight, RoundsToTheNearestPixel) {
    EXPECT_EQ(fontPixelHeight(GetParam().points, GetParam().dpi), GetParam().pixels);
}

INSTANTIATE_TEST_SUITE_P(Font, FontPixelHeight,
                         testing::Values(PixelCase{10, 96, 13},  // 13.33
                                         PixelCase{8, 96, 11},   // 10.67
                                         PixelCase{9, 96, 12}, PixelCase{10, 120, 17},
                                         PixelCase{10, 144, 20}, PixelCase{12, 72, 12},
                                         PixelCase{3, 12, 1},  // exactly half: up
                                         PixelCase{0, 96, 0}));

TEST(Font, OpenGivesTheDisplaysPixelHeightAndAPlainStyle) {
    test::ensureQtApp();
    const int handle = fontOpen(u"Consolas", 10);
    ASSERT_GT(handle, 0);
    const std::optional<QFont> font = fontFromHandle(handle);
    ASSERT_TRUE(font.has_value());
    EXPECT_EQ(font->pixelSize(), fontPixelHeight(10, displayDpiY()));
    EXPECT_EQ(font->weight(), QFont::Normal);
    EXPECT_FALSE(font->italic() || font->underline() || font->strikeOut());
    EXPECT_NE(fontOpen(u"Consolas", 10), handle);  // each open is its own handle
}

TEST(Font, MissingFaceFallsBackToAMonospaceFace) {
    test::ensureQtApp();
    const int handle = fontOpen(u"No Such Face Anywhere 9z", 10);
    ASSERT_GT(handle, 0);
    EXPECT_TRUE(QFontInfo(*fontFromHandle(handle)).fixedPitch());
}

TEST(Font, InvalidSizesAndHandlesFail) {
    test::ensureQtApp();
    EXPECT_EQ(fontOpen(u"Consolas", 0), 0);
    EXPECT_FALSE(fontFromHandle(0).has_value());
    EXPECT_FALSE(fontFromHandle(987654).has_value());
}

TEST(Font, DefaultFontReachesOnlyGadgetsCreatedAfterwards) {
    test::ensureQtApp();
    const int handle = fontOpen(u"Consolas", 17);
    ASSERT_GT(handle, 0);
    defaultFontSet(-1);
    LogViewWidget before;
    defaultFontSet(handle);
    LogViewWidget after;
    defaultFontSet(987654);  // invalid: no change
    EXPECT_EQ(currentDefaultGadgetFont()->pixelSize(), fontFromHandle(handle)->pixelSize());
    EXPECT_EQ(after.font().pixelSize(), fontFromHandle(handle)->pixelSize());
    EXPECT_NE(before.font().pixelSize(), after.font().pixelSize());
    defaultFontSet(0);  // a failed open: back to the system font
    EXPECT_FALSE(currentDefaultGadgetFont().has_value());
}

TEST(Tooltip, TextShowsExactlyAsWritten) {
    test::ensureQtApp();
    QWidget gadget;
    tooltipSet(&gadget, u"old");
    tooltipSet(&gadget, u"does nothing");
    EXPECT_EQ(gadget.toolTip(), "does nothing");
    tooltipSet(&gadget, u"Tom & Jerry");
    EXPECT_EQ(gadget.toolTip(), "Tom & Jerry");  // plain text: '&' shown as is

    // Text that looks like markup would be rendered; it must show literally.
    QTextDocument shown;
    shown.setHtml(tooltipDisplayText(u"<b>bold</b> & <i>"));
    EXPECT_EQ(shown.toPlainText(), "<b>bold</b> & <i>");
    tooltipSet(nullptr, u"ignored");
}

}  // namespace
}  // namespace corvane
