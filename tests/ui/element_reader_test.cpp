#include "ui/ElementReader.h"

#include <gtest/gtest.h>

#include <functional>

#include "ui/DialogText.h"

namespace corvane {
namespace {

// One element read from its tag, without building anything.
ElementDescription describe(std::u16string_view element, BuildError& error) {
    const auto tree = parseXml(element);
    const XmlNode* node = tree->root();
    EXPECT_NE(node, nullptr);
    const ElementKind* kind = findElementKind(node->name);
    EXPECT_NE(kind, nullptr);
    return describeElement(*node, *kind, error);
}

struct ReadCase {
    std::u16string_view element;
    std::function<bool(const ElementDescription&)> holds;
};

// Each kind reads its own attributes and no other kind's.
TEST(ElementReader, EachKindReadsItsOwnAttributes) {
    using D = const ElementDescription&;
    const ReadCase cases[] = {
        {u"<window minwidth='auto' maxheight='40' margin='3'/>",
         [](D d) {
             return d.layout.limits.minWidth == SizeLimitAuto && d.layout.limits.maxHeight == 40 &&
                    d.layout.one.marginLeft == 3;
         }},
        {u"<vbox spacing='7' expand='item:3' align='center'/>",
         [](D d) {
             return d.layout.box.spacing == 7 && d.layout.box.expandMode == ExpandMode::Item &&
                    d.layout.box.expandItem == 2 && d.layout.box.align == BoxAlign::Center;
         }},
        {u"<gridbox columns='3' colexpand='no'/>",
         [](D d) {
             return d.layout.grid.columns == 3 && d.layout.grid.colExpand == ExpandMode::No;
         }},
        {u"<frame/>", [](D d) { return d.layout.one.marginTop == 5; }},
        {u"<container margin='top:4'/>",
         [](D d) { return d.layout.one.marginTop == 4 && d.layout.one.marginLeft == 0; }},
        {u"<scrollarea step='3' expandwidth='9'/>",
         [](D d) { return d.step == 3 && d.layout.one.capWidth == 0; }},
        {u"<splitter firstmin='request'/>",
         [](D d) { return d.layout.split.firstMin == SplitterRequest; }},
        {u"<option group='2'/>", [](D d) { return d.group == 2; }},
        {u"<hyperlink color='255'/>", [](D d) { return d.color == 255; }},
        {u"<scrollbar min='1' max='9' value='4' page='2'/>",
         [](D d) { return d.minimum == 1 && d.maximum == 9 && d.value == 4 && d.page == 2; }},
        {u"<spin page='2'/>", [](D d) { return d.page == 10; }},
        {u"<trackbar/>", [](D d) { return d.maximum == 10; }},
        {u"<button spacing='7' group='2' min='1'/>",
         [](D d) { return d.layout.box.spacing == 5 && d.group == 0 && d.minimum == 0; }},
        {u"<button name='b' text='t' width='-1' folded='YES' disabled='yes' invisible='no'/>",
         [](D d) {
             return d.name == u"b" && d.text == u"t" && d.layout.width == -1 && d.layout.folded &&
                    d.disabled && !d.invisible;
         }},
        {u"<editor colspan='0' rowspan='3' flags='#WG_Editor_ReadOnly'/>",
         [](D d) { return d.layout.columnSpan == 1 && d.layout.rowSpan == 3 && d.flags == 0x800; }},
    };
    for (const ReadCase& c : cases) {
        BuildError error;
        const ElementDescription d = describe(c.element, error);
        EXPECT_FALSE(error) << toUtf8(c.element) << ": " << error.value_or("");
        EXPECT_TRUE(c.holds(d)) << toUtf8(c.element);
    }
}

}  // namespace
}  // namespace corvane
