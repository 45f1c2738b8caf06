#include <gtest/gtest.h>

#include <QImage>
#include <QPushButton>

#include "ui/UiRegistry.h"

namespace corvane {
namespace {

// Columns of the rendered button that hold its caption: the pixels darker
// than any part of the bevel, which the style draws in greys.
struct InkColumns {
    int first = -1;
    int last = -1;
};

InkColumns inkColumns(const QImage& image) {
    InkColumns ink;
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 0; y < image.height(); ++y) {
            if (qGray(image.pixel(x, y)) < 80) {
                if (ink.first < 0) {
                    ink.first = x;
                }
                ink.last = x;
                break;
            }
        }
    }
    return ink;
}

struct AlignCase {
    const char* label;
    std::u16string_view flag;
    bool left;
};

void PrintTo(const AlignCase& c, std::ostream* os) {
    *os << c.label;
}

class ButtonTextAlignment : public testing::TestWithParam<AlignCase> {};

// A caption pushed to one side keeps clear of the button's edge, as it
// would on any desktop; the bare alignment rule alone put it against the
// bevel.
TEST_P(ButtonTextAlignment, CaptionKeepsClearOfTheEdge) {
    const AlignCase& c = GetParam();
    UiRegistry registry;
    const int dialog = registry.dialogNew();
    const std::u16string document =
        u"<window name='w' flags='#WG_Window_Invisible'>"
        u"<button name='b' width='80' flags='" +
        std::u16string(c.flag) + u"' text='8'/></window>";
    const int xml = registry.xmlParse(document);
    ASSERT_EQ(registry.dialogOpen(dialog, xml, u"w"), 1);
    registry.xmlFree(xml);
    auto* button =
        qobject_cast<QPushButton*>(registry.gadgetWidget(registry.dialogFind(dialog, u"b")));
    ASSERT_NE(button, nullptr);
    button->resize(80, button->sizeHint().height());

    const QImage image = button->grab().toImage();
    const InkColumns ink = inkColumns(image);
    ASSERT_GE(ink.first, 0) << "no caption drawn";
    const int gap = c.left ? ink.first : image.width() - 1 - ink.last;
    EXPECT_GE(gap, 4) << c.label;
    // Still on its own side, not centred.
    EXPECT_LT(gap, image.width() / 4) << c.label;
}

INSTANTIATE_TEST_SUITE_P(Sides, ButtonTextAlignment,
                         testing::Values(AlignCase{"left", u"#WG_Button_Left", true},
                                         AlignCase{"right", u"#WG_Button_Right", false}),
                         [](const auto& row) { return std::string(row.param.label); });

}  // namespace
}  // namespace corvane
