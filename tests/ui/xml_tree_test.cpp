#include <gtest/gtest.h>

#include "ui/DialogDocument.h"
#include "ui/DialogText.h"
#include "ui/XmlTree.h"

namespace corvane {
namespace {

std::vector<std::u16string> elementNames(const XmlNode* first) {
    std::vector<std::u16string> names;
    for (const XmlNode* n = first; n != nullptr; n = n->nextSibling) {
        if (n->type == XmlNodeType::Element) {
            names.push_back(n->name);
        }
    }
    return names;
}

TEST(XmlTree, KeepsAttributesInDocumentOrderAndTextNodes) {
    const auto tree = parseXml(u"<a z='1' y=\"2\" x='3'>\t<b/>text<c k='v'/></a>");
    ASSERT_TRUE(tree->wellFormed());
    const XmlNode* a = tree->root();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->name, u"a");
    ASSERT_EQ(a->attributes.size(), 3u);
    EXPECT_EQ(a->attributes[0].name, u"z");
    EXPECT_EQ(a->attributes[1].value, u"2");
    EXPECT_EQ(a->attributes[2].name, u"x");
    const XmlNode* tab = a->firstChild;
    ASSERT_NE(tab, nullptr);
    EXPECT_EQ(tab->type, XmlNodeType::Text);
    EXPECT_EQ(tab->text, u"\t");
    EXPECT_EQ(elementNames(a->firstChild), (std::vector<std::u16string>{u"b", u"c"}));
    EXPECT_EQ(tab->nextSibling->nextSibling->text, u"text");
}

TEST(XmlTree, CarriesTextOutsideLatin1BothWays) {
    // e acute, a CJK character and a character outside the basic plane.
    const std::u16string value = u"\u00e9\u4e2d\U0001F600";
    const auto tree = parseXml(u"<r n\u00e9='" + value + u"'/>");
    ASSERT_TRUE(tree->wellFormed());
    ASSERT_EQ(tree->root()->attributes.size(), 1u);
    EXPECT_EQ(tree->root()->attributes[0].name, u"n\u00e9");
    EXPECT_EQ(tree->root()->attributes[0].value, value);
}

TEST(XmlTree, MalformedTextKeepsWhatWasBuiltBeforeTheFault) {
    const auto tree = parseXml(u"<a><b x='1'/><c><d/></a><e/>");
    EXPECT_FALSE(tree->wellFormed());
    const XmlNode* a = tree->root();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(elementNames(a->firstChild), (std::vector<std::u16string>{u"b", u"c"}));
    ASSERT_EQ(a->firstChild->attributes.size(), 1u);
    EXPECT_EQ(elementNames(a->firstChild->nextSibling->firstChild),
              (std::vector<std::u16string>{u"d"}));
}

TEST(XmlTree, EmptyOrGarbageTextHasNoRoot) {
    for (std::u16string_view text : {u"", u"not xml at all", u"<"}) {
        const auto tree = parseXml(text);
        EXPECT_FALSE(tree->wellFormed());
        EXPECT_EQ(tree->root(), nullptr);
    }
}

TEST(DialogDocument, IsOneLineOfTheExpectedShape) {
    EXPECT_EQ(dialogDocument.size(), 686u);
    EXPECT_TRUE(dialogDocument.starts_with(u"<dialogs>\t<window name='wndMain' flags='"));
    EXPECT_TRUE(dialogDocument.ends_with(u"\t\t</hbox>\t</window></dialogs>"));
    EXPECT_EQ(dialogDocument.find(u'\n'), std::u16string_view::npos);
    EXPECT_EQ(dialogDocument.find(u'"'), std::u16string_view::npos);
    EXPECT_EQ(std::count(dialogDocument.begin(), dialogDocument.end(), u'\t'), 36);
    for (std::u16string_view landmark :
         {u"\t\t\t<editor name='txtLog' flags='#WG_Editor_ReadOnly|#WG_Editor_WordWrap' "
          u"height='320' width='512'/>\t\t\t<vbox",
          u"\t\t\t\t\t<editor name='editor2' disabled='no' flags='#WG_Editor_WordWrap' "
          u"text='Cor va ne by Tes sa ly' invisible='no'/>\t\t\t\t</container>",
          u"minwidth='auto' minheight='auto'>\t\t<hbox name='hbox1' expand='item:1'>"}) {
        EXPECT_NE(dialogDocument.find(landmark), std::u16string_view::npos) << toUtf8(landmark);
    }
    const auto tree = parseXml(dialogDocument);
    EXPECT_TRUE(tree->wellFormed());
}

TEST(DialogText, ReadsNumbersAsDocumentsWriteThem) {
    struct Row {
        std::u16string_view text;
        int value;
    };
    for (const Row& row :
         {Row{u"42", 42}, Row{u" \t-17px", -17}, Row{u"+8", 8}, Row{u"abc", 0}, Row{u"", 0},
          Row{u"- 5", 0}, Row{u"12 34", 12}, Row{u"99999999999", 2147483647},
          Row{u"-99999999999", -2147483647 - 1}}) {
        EXPECT_EQ(readNumber(row.text), row.value) << toUtf8(row.text);
    }
}

}  // namespace
}  // namespace corvane
