#include <gtest/gtest.h>

#include <cctype>
#include <deque>
#include <limits>

#include "ui/BoxLayout.h"
#include "ui/LayoutAttributes.h"

namespace corvane {
namespace {

// Owns the nodes of one hand-built layout tree.
class Tree {
public:
    LayoutNode& node(LayoutKind kind, int width = 0, int height = 0) {
        LayoutNode& n = nodes_.emplace_back();
        n.kind = kind;
        n.width = width;
        n.height = height;
        n.hasGadget = kind != LayoutKind::HBox && kind != LayoutKind::VBox;
        return n;
    }
    LayoutNode& oneChild(LayoutKind kind, int margin) {
        LayoutNode& n = node(kind);
        n.one.marginTop = n.one.marginBottom = n.one.marginLeft = n.one.marginRight = margin;
        return n;
    }

private:
    std::deque<LayoutNode> nodes_;
};

// The program's own window: the log view beside a column of two buttons and
// a container holding a credit line. Button width is the font's business.
struct WorkedLayout {
    Tree tree;
    LayoutNode& window = tree.oneChild(LayoutKind::Window, 8);
    LayoutNode& hbox1 = tree.node(LayoutKind::HBox);
    LayoutNode& txtLog = tree.node(LayoutKind::Gadget, 512, 320);
    LayoutNode& vbox1 = tree.node(LayoutKind::VBox, 60);
    LayoutNode& button1 = tree.node(LayoutKind::MeasuredGadget);
    LayoutNode& button2 = tree.node(LayoutKind::MeasuredGadget);
    LayoutNode& container1 = tree.oneChild(LayoutKind::Container, 10);
    LayoutNode& editor2 = tree.node(LayoutKind::Gadget);

    explicit WorkedLayout(int buttonWidth) {
        window.limits.minWidth = SizeLimitAuto;
        window.limits.minHeight = SizeLimitAuto;
        window.children = {&hbox1};
        int item = 0;
        parseExpandMode(u"item:1", hbox1.box.expandMode, item, false);
        hbox1.box.expandItem = item;
        hbox1.children = {&txtLog, &vbox1};
        parseExpandMode(u"item:3", vbox1.box.expandMode, item, false);
        vbox1.box.expandItem = item;
        parseBoxAlign(u"center", vbox1.box.align);
        vbox1.children = {&button1, &button2, &container1};
        button1.measured = button2.measured = {buttonWidth, 24};
        container1.children = {&editor2};
    }
};

class WorkedLayoutTest : public ::testing::TestWithParam<int> {};

TEST_P(WorkedLayoutTest, RequiredSizeAndMinimumLimits) {
    WorkedLayout l(GetParam());
    EXPECT_EQ(requiredSize(l.window), (LayoutSize{593, 336}));
    EXPECT_EQ(l.vbox1.box.total, 78);
    EXPECT_EQ(l.hbox1.box.total, 577);
    EXPECT_EQ(l.window.applied.minWidth, 593);
    EXPECT_EQ(l.window.applied.minHeight, 336);
    EXPECT_FALSE(l.window.applied.maxWidth.has_value());
    EXPECT_FALSE(l.window.applied.maxHeight.has_value());
}

TEST_P(WorkedLayoutTest, PlacesEveryRectangleAtMinimumAndWhenGrown) {
    struct Grow {
        int dx, dy;
    };
    for (const Grow g : {Grow{0, 0}, Grow{100, 40}, Grow{7, 0}, Grow{0, 333}}) {
        SCOPED_TRACE(testing::Message() << "dx=" << g.dx << " dy=" << g.dy);
        WorkedLayout l(GetParam());
        requiredSize(l.window);
        place(l.window, 0, 0, 593 + g.dx, 336 + g.dy);
        EXPECT_EQ(l.hbox1.rect, (LayoutRect{8, 8, 577 + g.dx, 320 + g.dy}));
        EXPECT_EQ(l.txtLog.rect, (LayoutRect{8, 8, 512 + g.dx, 320 + g.dy}));
        EXPECT_EQ(l.vbox1.rect, (LayoutRect{525 + g.dx, 8, 60, 320 + g.dy}));
        EXPECT_EQ(l.button1.rect, (LayoutRect{525 + g.dx, 8, 60, 24}));
        EXPECT_EQ(l.button2.rect, (LayoutRect{525 + g.dx, 37, 60, 24}));
        EXPECT_EQ(l.container1.rect, (LayoutRect{525 + g.dx, 66, 60, 262 + g.dy}));
        // Inside the container, in its own coordinates.
        EXPECT_EQ(l.editor2.rect, (LayoutRect{10, 10, 40, 242 + g.dy}));
    }
}

INSTANTIATE_TEST_SUITE_P(ButtonWidths, WorkedLayoutTest, ::testing::Values(14, 21, 46, 60));

struct BoxCase {
    const char* label;
    const char16_t* expand;
    const char16_t* align;
    int length;
    bool foldMiddle;
    std::vector<LayoutRect> expected;  // y and height of each child; x 0, width 50
};

void PrintTo(const BoxCase& c, std::ostream* out) {
    *out << c.label;
}

class VBoxCaseTest : public ::testing::TestWithParam<BoxCase> {};

TEST_P(VBoxCaseTest, SharesTheLengthOut) {
    const BoxCase& c = GetParam();
    Tree tree;
    LayoutNode& box = tree.node(LayoutKind::VBox);
    LayoutNode& a = tree.node(LayoutKind::Gadget, 0, 24);
    LayoutNode& b = tree.node(LayoutKind::Gadget, 0, c.foldMiddle ? 50 : 24);
    LayoutNode& d = tree.node(LayoutKind::Gadget, 0, 20);
    b.folded = c.foldMiddle;
    box.children = {&a, &b, &d};
    parseExpandMode(c.expand, box.box.expandMode, box.box.expandItem, false);
    parseBoxAlign(c.align, box.box.align);
    requiredSize(box);
    const LayoutRect untouched{-9, -9, -9, -9};
    a.rect = b.rect = d.rect = untouched;
    place(box, 0, 0, 50, c.length);
    const std::vector<LayoutRect> got{a.rect, b.rect, d.rect};
    EXPECT_EQ(got, c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VBoxCaseTest,
    ::testing::Values(
        BoxCase{"yes", u"yes", u"", 100, false, {{0, 0, 50, 31}, {0, 36, 50, 31}, {0, 72, 50, 27}}},
        BoxCase{
            "equal", u"EQUAL", u"", 100, false, {{0, 0, 50, 30}, {0, 35, 50, 30}, {0, 70, 50, 30}}},
        BoxCase{"no centre",
                u"no",
                u"Center",
                100,
                false,
                {{0, 11, 50, 24}, {0, 40, 50, 24}, {0, 69, 50, 20}}},
        BoxCase{"no bottom",
                u"No",
                u"bottom",
                100,
                false,
                {{0, 22, 50, 24}, {0, 51, 50, 24}, {0, 80, 50, 20}}},
        BoxCase{
            "shrunk", u"yes", u"", 39, false, {{0, 0, 50, 12}, {0, 17, 50, 12}, {0, 34, 50, 10}}},
        BoxCase{"item names no child",
                u"item:9",
                u"",
                100,
                false,
                {{0, 0, 50, 24}, {0, 29, 50, 24}, {0, 58, 50, 20}}},
        BoxCase{"item 2 grows",
                u"ITEM:2",
                u"",
                100,
                false,
                {{0, 0, 50, 24}, {0, 29, 50, 46}, {0, 80, 50, 20}}},
        // Total 24 + 20 + one spacing = 49; each of the two placed children grows by 25.
        BoxCase{"folded middle",
                u"yes",
                u"",
                100,
                true,
                {{0, 0, 50, 49}, {-9, -9, -9, -9}, {0, 54, 50, 45}}},
        // A value that is not understood leaves 'yes'.
        BoxCase{"unknown keeps yes",
                u"sideways",
                u"middle",
                100,
                false,
                {{0, 0, 50, 31}, {0, 36, 50, 31}, {0, 72, 50, 27}}}),
    [](const ::testing::TestParamInfo<BoxCase>& row) {
        std::string name = row.param.label;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST(BoxLayout, FoldedChildAddsNothingToTheTotal) {
    Tree tree;
    LayoutNode& box = tree.node(LayoutKind::HBox);
    LayoutNode& a = tree.node(LayoutKind::Gadget, 30, 10);
    LayoutNode& b = tree.node(LayoutKind::Gadget, 40, 90);
    LayoutNode& d = tree.node(LayoutKind::Gadget, 50, 10);
    b.folded = true;
    box.children = {&a, &b, &d};
    EXPECT_EQ(requiredSize(box), (LayoutSize{85, 10}));
    EXPECT_EQ(box.box.total, 85);
    EXPECT_EQ(box.box.foldedCount, 1);
}

TEST(BoxLayout, EqualModeAsksForTheLargestChildTimesTheUnfolded) {
    Tree tree;
    LayoutNode& box = tree.node(LayoutKind::HBox, 0, 33);
    LayoutNode& a = tree.node(LayoutKind::Gadget, 30, 10);
    LayoutNode& b = tree.node(LayoutKind::Gadget, 70, 10);
    box.children = {&a, &b};
    box.box.expandMode = ExpandMode::Equal;
    box.box.spacing = 2;
    EXPECT_EQ(requiredSize(box), (LayoutSize{142, 33}));
}

TEST(BoxLayout, MinusOneAsksForNoSpaceOnDefaultGadgetsOnly) {
    Tree tree;
    LayoutNode& plain = tree.node(LayoutKind::Gadget, -1, 20);
    LayoutNode& measured = tree.node(LayoutKind::MeasuredGadget, -1, -1);
    measured.measured = {33, 24};
    EXPECT_EQ(requiredSize(plain), (LayoutSize{0, 20}));
    EXPECT_EQ(requiredSize(measured), (LayoutSize{33, 24}));
    measured.folded = true;
    EXPECT_EQ(requiredSize(measured), (LayoutSize{33, 24}));
    plain.folded = true;
    EXPECT_EQ(requiredSize(plain), (LayoutSize{0, 0}));
}

struct MarginCase {
    const char16_t* value;
    int top, bottom, left, right;
};

class MarginTest : public ::testing::TestWithParam<MarginCase> {};

TEST_P(MarginTest, ReadsOneNumberOrKeyedSides) {
    const MarginCase& c = GetParam();
    OneChildFields one;
    parseMargin(c.value, one);
    EXPECT_EQ(one.marginTop, c.top);
    EXPECT_EQ(one.marginBottom, c.bottom);
    EXPECT_EQ(one.marginLeft, c.left);
    EXPECT_EQ(one.marginRight, c.right);
}

INSTANTIATE_TEST_SUITE_P(Forms, MarginTest,
                         ::testing::Values(MarginCase{u"top:4", 4, 0, 0, 0},
                                           MarginCase{u"3", 3, 3, 3, 3},
                                           MarginCase{u" -2", -2, -2, -2, -2},
                                           MarginCase{u"Left:7 RIGHT:1", 0, 0, 7, 1},
                                           // The two-sided keys win over single ones.
                                           MarginCase{u"top:4 vertical:9", 9, 9, 0, 0},
                                           MarginCase{u"horizontal:6,bottom:2", 0, 2, 6, 6}));

TEST(BoxLayout, WindowMarginFormsShiftTheChild) {
    Tree tree;
    LayoutNode& window = tree.oneChild(LayoutKind::Window, 8);
    LayoutNode& child = tree.node(LayoutKind::Gadget, 100, 50);
    window.children = {&child};
    parseMargin(u"top:4", window.one);
    EXPECT_EQ(requiredSize(window), (LayoutSize{100, 54}));
    place(window, 0, 0, 100, 54);
    EXPECT_EQ(child.rect, (LayoutRect{0, 4, 100, 50}));
}

TEST(BoxLayout, WindowLimits) {
    Tree tree;
    LayoutNode& window = tree.oneChild(LayoutKind::Window, 8);
    LayoutNode& child = tree.node(LayoutKind::Gadget, 100, 50);
    window.children = {&child};
    window.limits.minWidth = parseSizeLimit(u"700");
    EXPECT_EQ(requiredSize(window), (LayoutSize{700, 66}));
    EXPECT_EQ(window.applied, (AppliedLimits{700, std::nullopt, std::nullopt, std::nullopt}));

    window.limits.maxWidth = parseSizeLimit(u"AUTO");
    window.limits.maxHeight = parseSizeLimit(u"40000");
    window.limits.minHeight = parseSizeLimit(u"auto");
    requiredSize(window);
    EXPECT_EQ(window.applied, (AppliedLimits{700, 66, 700, SizeLimitCeiling}));
}

TEST(BoxLayout, WindowNeverPlacesItsChildSmallerThanTheInnerArea) {
    Tree tree;
    LayoutNode& window = tree.oneChild(LayoutKind::Window, 8);
    LayoutNode& child = tree.node(LayoutKind::Gadget, 100, 50);
    window.children = {&child};
    parseOneChildExpand(u"no", window.one);
    parseOneChildAlign(u"center", window.one);
    requiredSize(window);
    place(window, 0, 0, 216, 116);
    // The alignment shifts the child; the size stays the full inner area.
    EXPECT_EQ(child.rect, (LayoutRect{58, 33, 200, 100}));
}

struct OneChildCase {
    const char* label;
    const char16_t* expand;
    const char16_t* align;
    int capWidth;
    LayoutRect expected;
};

void PrintTo(const OneChildCase& c, std::ostream* out) {
    *out << c.label;
}

class OneChildTest : public ::testing::TestWithParam<OneChildCase> {};

TEST_P(OneChildTest, PlacesTheChildInTheContainer) {
    const OneChildCase& c = GetParam();
    Tree tree;
    LayoutNode& box = tree.oneChild(LayoutKind::SingleBox, 10);
    LayoutNode& child = tree.node(LayoutKind::Gadget, 20, 10);
    box.children = {&child};
    parseOneChildExpand(c.expand, box.one);
    parseOneChildAlign(c.align, box.one);
    box.one.capWidth = c.capWidth;
    EXPECT_EQ(requiredSize(box), (LayoutSize{40, 30}));
    place(box, 5, 5, 120, 70);
    EXPECT_EQ(child.rect, c.expected) << c.label;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OneChildTest,
    ::testing::Values(
        OneChildCase{"fills", u"", u"", 0, {15, 15, 100, 50}},
        OneChildCase{"no expand, start", u"no", u"", 0, {15, 15, 20, 10}},
        OneChildCase{"no expand, centre", u"NO", u"center", 0, {55, 35, 20, 10}},
        OneChildCase{"no expand, bottom right", u"no", u"bottom right", 0, {95, 55, 20, 10}},
        OneChildCase{"vertical only, right", u"vertical", u"right", 0, {95, 15, 20, 50}},
        OneChildCase{
            "horizontal only, top centre", u"horizontal", u"top center", 0, {15, 15, 100, 10}},
        OneChildCase{"capped width, centred", u"", u"center", 60, {35, 15, 60, 50}},
        OneChildCase{"cap below child keeps child", u"", u"", 12, {15, 15, 20, 50}}));

TEST(BoxLayout, ContainerBorderCountsAndOffsetsTheChild) {
    Tree tree;
    LayoutNode& container = tree.oneChild(LayoutKind::Container, 10);
    LayoutNode& child = tree.node(LayoutKind::Gadget, 30, 30);
    container.children = {&child};
    const LayoutSize border = containerBorder(0x1);
    EXPECT_EQ(border, (LayoutSize{2, 2}));
    EXPECT_EQ(containerBorder(0x0), (LayoutSize{0, 0}));
    container.one.frameWidth = border.width;
    container.one.frameHeight = border.height;
    container.one.frameLeft = border.width / 2;
    container.one.frameTop = border.height / 2;
    EXPECT_EQ(requiredSize(container), (LayoutSize{52, 52}));
    place(container, 100, 200, 62, 52);
    EXPECT_EQ(container.rect, (LayoutRect{100, 200, 62, 52}));
    EXPECT_EQ(child.rect, (LayoutRect{11, 11, 40, 30}));
}

TEST(BoxLayout, TextWithoutBorderSitsTwoPixelsLower) {
    Tree tree;
    LayoutNode& text = tree.node(LayoutKind::MeasuredGadget, 0, 0);
    text.nudgeText = true;
    text.measured = {40, 16};
    place(text, 3, 4, 50, 30);
    EXPECT_EQ(text.rect, (LayoutRect{3, 6, 50, 28}));
    place(text, 3, 4, 50, 17);  // 16 does not fit into 15
    EXPECT_EQ(text.rect, (LayoutRect{3, 4, 50, 17}));
}

TEST(BoxLayout, GridPlacesRowByRowWithSpans) {
    Tree tree;
    LayoutNode& grid = tree.node(LayoutKind::GridBox);
    LayoutNode& a = tree.node(LayoutKind::Gadget, 40, 10);
    LayoutNode& b = tree.node(LayoutKind::Gadget, 60, 20);
    LayoutNode& wide = tree.node(LayoutKind::Gadget, 150, 10);
    LayoutNode& d = tree.node(LayoutKind::Gadget, 10, 10);
    wide.columnSpan = 5;  // cut at the last column
    for (LayoutNode* n : {&a, &b, &wide, &d}) {
        addGridChild(grid, *n);
    }
    // Columns 40 and 60 plus spacing 5 = 105; the spanning child needs 150, so
    // the last column grows to 105.
    EXPECT_EQ(requiredSize(grid), (LayoutSize{150, 50}));
    place(grid, 0, 0, 160, 50);
    EXPECT_EQ(a.rect, (LayoutRect{0, 0, 45, 20}));
    EXPECT_EQ(b.rect, (LayoutRect{50, 0, 110, 20}));
    EXPECT_EQ(wide.rect, (LayoutRect{0, 25, 160, 10}));
    EXPECT_EQ(d.rect, (LayoutRect{0, 40, 45, 10}));
}

TEST(BoxLayout, HugeSizesSaturateInsteadOfWrapping) {
    Tree tree;
    LayoutNode& box = tree.node(LayoutKind::HBox);
    LayoutNode& a = tree.node(LayoutKind::Gadget, 2000000000, 1);
    LayoutNode& b = tree.node(LayoutKind::Gadget, 2000000000, 1);
    box.children = {&a, &b};
    EXPECT_EQ(requiredSize(box).width, std::numeric_limits<int>::max());
    place(box, 0, 0, 100, 1);
    EXPECT_GE(a.rect.width, 0);
    EXPECT_LE(a.rect.width, 100);
}

}  // namespace
}  // namespace corvane
