#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "ui/DialogDocument.h"
#include "ui/DialogText.h"
#include "ui/LogViewWidget.h"
#include "ui/UiRegistry.h"

namespace corvane {
namespace {

// Opens a document in a fresh registry; the window stays invisible unless
// the test asks, so nothing needs a real screen.
struct Opened {
    UiRegistry registry;
    int dialog = registry.dialogNew();
    int result = 0;

    explicit Opened(std::u16string_view document, std::u16string_view name = u"") {
        const int xml = registry.xmlParse(document);
        result = registry.dialogOpen(dialog, xml, name);
        registry.xmlFree(xml);
    }
    std::string error() const { return registry.dialogError(dialog).value_or("<none>"); }
    QWidget* gadget(std::u16string_view name) const {
        return registry.gadgetWidget(registry.dialogFind(dialog, name));
    }
    const DialogElement* element(std::u16string_view name) const {
        return registry.dialogElement(dialog, name);
    }
};

// A window around the given content; hidden so tests stay quiet.
std::u16string window(std::u16string_view content) {
    return u"<window name='w' flags='#WG_Window_Invisible'>" + std::u16string(content) +
           u"</window>";
}

TEST(DialogBuild, TheDocumentBuildsWithItsResolvedFlags) {
    Opened o(dialogDocument, u"wndMain");
    ASSERT_EQ(o.result, 1) << o.error();
    EXPECT_FALSE(o.registry.dialogError(o.dialog));
    struct Row {
        std::u16string_view name;
        std::uint32_t flags;
        int code;
    };
    for (const Row& r :
         {Row{u"wndMain", 0xCC0001, 1}, Row{u"hbox1", 0, 102}, Row{u"txtLog", 0x10000800, 20},
          Row{u"vbox1", 0, 101}, Row{u"button1", 0x100, 3}, Row{u"button2", 0x200, 3},
          Row{u"container1", 0, 10}, Row{u"editor2", 0x10000000, 20}}) {
        const DialogElement* e = o.element(r.name);
        ASSERT_NE(e, nullptr) << toUtf8(r.name);
        EXPECT_EQ(e->flags, r.flags) << toUtf8(r.name);
        EXPECT_EQ(e->kind->code, r.code) << toUtf8(r.name);
    }
    // The read-only editor is the log view: it never takes the user's edits.
    auto* log = qobject_cast<LogViewWidget*>(o.gadget(u"TXTLOG"));
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->wordWrap());
    auto* credit = qobject_cast<QPlainTextEdit*>(o.gadget(u"editor2"));
    ASSERT_NE(credit, nullptr);
    EXPECT_EQ(credit->toPlainText(), "Cor va ne by Tes sa ly");
    EXPECT_FALSE(credit->isReadOnly());
    // Disabled through its container, which is disabled itself.
    EXPECT_FALSE(o.gadget(u"container1")->isEnabled());
    EXPECT_FALSE(credit->isEnabled());
    EXPECT_EQ(credit->parentWidget(), o.gadget(u"container1"));
    auto* button = qobject_cast<QPushButton*>(o.gadget(u"button1"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), "1");
    EXPECT_TRUE(button->isEnabled());
}

TEST(DialogBuild, FindReturnsGadgetsOnlyAndIgnoresCase) {
    Opened o(dialogDocument, u"WNDMAIN");
    ASSERT_EQ(o.result, 1) << o.error();
    EXPECT_GE(o.registry.dialogFind(o.dialog, u"txtlog"), 0);
    EXPECT_EQ(o.registry.dialogFind(o.dialog, u"txtLog"),
              o.registry.dialogFind(o.dialog, u"TXTLOG"));
    EXPECT_NE(o.registry.dialogFind(o.dialog, u"button1"),
              o.registry.dialogFind(o.dialog, u"button2"));
    for (std::u16string_view none : {u"hbox1", u"vbox1", u"wndMain", u"nothing", u""}) {
        EXPECT_EQ(o.registry.dialogFind(o.dialog, none), -1) << toUtf8(none);
    }
    EXPECT_EQ(o.registry.dialogFind(o.dialog + 100, u"txtLog"), -1);
    EXPECT_EQ(o.registry.dialogWindowHandle(o.dialog + 100), -1);
    EXPECT_GT(o.registry.dialogWindowHandle(o.dialog), 0);
}

TEST(DialogBuild, FindTakesTheFirstInDocumentOrder) {
    Opened o(
        window(u"<vbox><container name='a'><button name='A' text='inner'/></container>"
               u"<button name='a'/></vbox>"));
    ASSERT_EQ(o.result, 1) << o.error();
    EXPECT_EQ(o.gadget(u"a"), o.element(u"a")->widget);
    EXPECT_EQ(o.element(u"a")->kind->code, 10);  // the container comes before its child
}

TEST(DialogBuild, WindowLookup) {
    const std::u16string two =
        u"<dialogs><window name='first' text='1' flags='#WG_Window_Invisible'/>"
        u"<window text='2' flags='#WG_Window_Invisible'/>"
        u"<window name='Third' text='3' flags='#WG_Window_Invisible'/></dialogs>";
    struct Row {
        std::u16string_view document;
        std::u16string_view name;
        const char* title;  // null: not found
    };
    const std::u16string single = window(u"");
    for (const Row& r :
         {Row{two, u"", "1"}, Row{two, u"FIRST", "1"}, Row{two, u"third", "3"},
          Row{two, u"second", nullptr}, Row{single, u"W", ""}, Row{single, u"", ""},
          Row{single, u"x", nullptr}, Row{u"<dialog><window name='w'/></dialog>", u"w", nullptr},
          Row{u"", u"", nullptr}, Row{u"<window name='w'", u"w", nullptr}}) {
        Opened o(r.document, r.name);
        if (r.title == nullptr) {
            EXPECT_EQ(o.result, 0) << toUtf8(r.name);
            EXPECT_EQ(o.error(), "Dialog window not found");
            EXPECT_EQ(o.registry.dialogWindowHandle(o.dialog), -1);
        } else {
            ASSERT_EQ(o.result, 1) << toUtf8(r.name) << o.error();
            const int handle = o.registry.dialogWindowHandle(o.dialog);
            EXPECT_EQ(o.registry.windowWidget(handle)->windowTitle(), r.title);
        }
    }
}

struct ErrorCase {
    const char* label;
    std::u16string content;
    std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
    *out << c.label;
}

class BuildErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(BuildErrorTest, RecordsTheFirstErrorAndFails) {
    const ErrorCase& c = GetParam();
    Opened o(window(c.content));
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.error(), c.message);
    EXPECT_EQ(o.registry.dialogWindowHandle(o.dialog), -1);
    EXPECT_EQ(o.registry.dialogFind(o.dialog, u"b"), -1);
    EXPECT_EQ(o.registry.gadgetWidget(0), nullptr);
    EXPECT_EQ(o.registry.gadgetWidget(1), nullptr);
}

std::u16string manyButtons(int count) {
    std::u16string s = u"<hbox name='crowded'>";
    for (int i = 0; i < count; ++i) {
        s += u"<button/>";
    }
    return s + u"</hbox>";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BuildErrorTest,
    ::testing::Values(
        ErrorCase{"constant id", u"<button name='b' id='#Nope'/>",
                  "'#Nope' constant is not found or not declared as runtime."},
        ErrorCase{"flag of another kind", u"<editor name='b' flags='#WG_Button_Left'/>",
                  "'#WG_Button_Left' flag is not supported for the following gadget: editor"},
        ErrorCase{"tag as written", u"<EdItor flags='#WG_Editor_ReadOnly | #Bogus'/>",
                  "'#Bogus' flag is not supported for the following gadget: EdItor"},
        ErrorCase{"flags on a box", u"<vbox flags='#WG_Editor_ReadOnly'/>",
                  "'#WG_Editor_ReadOnly' flag is not supported for the following gadget: vbox"},
        ErrorCase{"event not accepted", u"<button name='b' onChange='doIt'/>",
                  "'onChange' is not supported for the following gadget: button"},
        ErrorCase{"event accepted", u"<string name='b' ONCHANGE='doIt'/>",
                  "'doIt' is not a runtime procedure."},
        ErrorCase{"any event", u"<button name='b' onevent='react'/>",
                  "'react' is not a runtime procedure."},
        ErrorCase{"list events", u"<tree ondragstart='drag'/>",
                  "'drag' is not a runtime procedure."},
        ErrorCase{"first error kept", u"<button onfocus='x'/><editor flags='#Nope'/>",
                  "'onfocus' is not supported for the following gadget: button"},
        ErrorCase{"first within an element", u"<button id='#A' flags='#B'/>",
                  "'#A' constant is not found or not declared as runtime."},
        ErrorCase{"deep inside",
                  u"<vbox><container><hbox><text onchange='t'/></hbox></container></vbox>",
                  "'onchange' is not supported for the following gadget: text"},
        ErrorCase{"crowded box", manyButtons(101),
                  "'hbox' box cannot hold more than 100 children"}),
    [](const ::testing::TestParamInfo<ErrorCase>& row) {
        std::string name = row.param.label;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

TEST(DialogBuild, WindowFlagErrorFailsTheOpen) {
    Opened o(u"<window flags='#WG_Button_Left'><button name='b'/></window>");
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.error(),
              "'#WG_Button_Left' flag is not supported for the following gadget: window");
}

TEST(DialogBuild, ErrorTextIsCutTo511BytesOnACharacterBoundary) {
    // 600 two-byte characters: the message would be far longer than 511 bytes.
    const std::u16string id = u"#" + std::u16string(600, u'\u00e9');
    Opened o(window(u"<button id='" + id + u"'/>"));
    EXPECT_EQ(o.result, 0);
    const std::string e = o.error();
    EXPECT_LE(e.size(), 511u);
    EXPECT_GE(e.size(), 509u);
    EXPECT_EQ(e.substr(0, 3), "'#\xc3");
    EXPECT_EQ(toUtf8(fromUtf8(e)), e);  // still whole characters
}

TEST(DialogBuild, AHundredChildrenFit) {
    Opened o(window(manyButtons(100)));
    EXPECT_EQ(o.result, 1) << o.error();
}

TEST(DialogBuild, ReopeningDropsTheEarlierError) {
    UiRegistry registry;
    const int dialog = registry.dialogNew();
    const int xml = registry.xmlParse(window(u"<button name='b'/>"));
    EXPECT_EQ(registry.dialogOpen(dialog, xml, u"other"), 0);
    EXPECT_TRUE(registry.dialogError(dialog));
    EXPECT_EQ(registry.dialogOpen(dialog, xml, u"w"), 1);
    EXPECT_FALSE(registry.dialogError(dialog));
    EXPECT_NE(registry.dialogFind(dialog, u"b"), -1);
}

TEST(DialogBuild, TagsAndAttributesIgnoreCaseAndUnknownTagsAreSkipped) {
    Opened o(
        window(u"<VBox><BUTTON Name='b' TEXT='go'/>"
               u"<gizmo><button name='hidden'/><bogus/></gizmo>"
               u"<Editor name='e'/></VBox>"));
    ASSERT_EQ(o.result, 1) << o.error();
    auto* b = qobject_cast<QPushButton*>(o.gadget(u"b"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), "go");
    EXPECT_EQ(o.element(u"hidden"), nullptr);
    EXPECT_NE(o.gadget(u"e"), nullptr);
    EXPECT_EQ(o.element(u"b")->parent->layout.children.size(), 2u);
}

TEST(DialogBuild, DisabledAndInvisibleOnlyWithYes) {
    Opened o(
        window(u"<vbox><button name='no' disabled='no' invisible='no'/>"
               u"<button name='yes' disabled='YES' invisible='Yes'/>"
               u"<button name='other' disabled='true' invisible='1'/></vbox>"));
    ASSERT_EQ(o.result, 1) << o.error();
    EXPECT_TRUE(o.gadget(u"no")->isEnabled());
    EXPECT_FALSE(o.gadget(u"no")->isHidden());
    EXPECT_FALSE(o.gadget(u"yes")->isEnabled());
    EXPECT_TRUE(o.gadget(u"yes")->isHidden());
    EXPECT_TRUE(o.gadget(u"other")->isEnabled());
    EXPECT_FALSE(o.gadget(u"other")->isHidden());
}

TEST(DialogBuild, IdsAllocateOrRequestNumbers) {
    Opened o(
        window(u"<vbox><button name='any' id='#wg_any'/><button name='n' id='42'/>"
               u"<button name='again' id='42'/></vbox>"));
    ASSERT_EQ(o.result, 1) << o.error();
    EXPECT_EQ(o.registry.dialogFind(o.dialog, u"n"), 42);
    const int any = o.registry.dialogFind(o.dialog, u"any");
    const int again = o.registry.dialogFind(o.dialog, u"again");
    EXPECT_GE(any, 0);
    EXPECT_NE(any, 42);
    EXPECT_NE(again, 42);  // a number in use is not taken twice
    EXPECT_EQ(o.registry.gadgetWidget(42), o.element(u"n")->widget);
}

TEST(DialogBuild, FlagsWithoutHashSetNothing) {
    Opened o(window(u"<editor name='e' flags='WG_Editor_ReadOnly'/>"));
    ASSERT_EQ(o.result, 1) << o.error();
    EXPECT_EQ(o.element(u"e")->flags, 0u);
    EXPECT_FALSE(qobject_cast<QPlainTextEdit*>(o.gadget(u"e"))->isReadOnly());
}

TEST(DialogBuild, EventAttributesOnKindsThatIgnoreThem) {
    Opened o(
        window(u"<container onchange='x'><hbox onevent='y'><canvas name='c' "
               u"onleftclick='z'/></hbox></container>"));
    EXPECT_EQ(o.result, 1) << o.error();
}

TEST(DialogBuild, OptionsShareAGroupByNumber) {
    Opened o(
        window(u"<vbox><option name='a' group='1'/><option name='b' group='1'/>"
               u"<option name='c' group='2'/></vbox>"));
    ASSERT_EQ(o.result, 1) << o.error();
    auto* a = qobject_cast<QAbstractButton*>(o.gadget(u"a"));
    auto* b = qobject_cast<QAbstractButton*>(o.gadget(u"b"));
    auto* c = qobject_cast<QAbstractButton*>(o.gadget(u"c"));
    ASSERT_TRUE(a && b && c);
    ASSERT_NE(a->group(), nullptr);
    EXPECT_EQ(a->group(), b->group());
    EXPECT_NE(a->group(), c->group());
}

TEST(DialogBuild, EveryKindBuildsAndNestsInItsContainer) {
    Opened o(window(
        u"<vbox><button name='button'/><checkbox name='checkbox'/><option name='option'/>"
        u"<text name='text'/><string name='string'/><shortcut name='shortcut'/>"
        u"<image name='image'/><buttonimage name='buttonimage'/><listview name='listview'/>"
        u"<listicon name='listicon' text='col'/><tree name='tree'/><combobox name='combobox'/>"
        u"<calendar name='calendar'/><date name='date'/><explorercombo name='explorercombo'/>"
        u"<explorerlist name='explorerlist'/><explorertree name='explorertree'/>"
        u"<editor name='editor'/><hyperlink name='hyperlink' text='x'/>"
        u"<ipaddress name='ipaddress'/><scintilla name='scintilla'/>"
        u"<scrollbar name='scrollbar'/><progressbar name='progressbar'/>"
        u"<trackbar name='trackbar'/><spin name='spin'/><web name='web'/>"
        u"<canvas name='canvas'/><gridbox><empty name='empty'/><multibox/></gridbox>"
        u"<singlebox><frame name='frame' text='f'><button name='inframe'/></frame></singlebox>"
        u"<panel name='panel'><tab text='one'><button name='intab'/></tab></panel>"
        u"<scrollarea name='scrollarea'><button name='inscroll'/></scrollarea>"
        u"<splitter name='splitter'><button name='left'/><button name='right'/></splitter>"
        u"<canvas name='holder' flags='#WG_Canvas_Container'><button name='incanvas'/></canvas>"
        u"</vbox>"));
    ASSERT_EQ(o.result, 1) << o.error();
    for (std::u16string_view name :
         {u"button",       u"checkbox",     u"option",      u"text",      u"string",
          u"shortcut",     u"image",        u"buttonimage", u"listview",  u"listicon",
          u"tree",         u"combobox",     u"calendar",    u"date",      u"explorercombo",
          u"explorerlist", u"explorertree", u"editor",      u"hyperlink", u"ipaddress",
          u"scintilla",    u"scrollbar",    u"progressbar", u"trackbar",  u"spin",
          u"web",          u"canvas",       u"frame",       u"panel",     u"scrollarea",
          u"splitter",     u"holder"}) {
        EXPECT_NE(o.gadget(name), nullptr) << toUtf8(name);
    }
    EXPECT_EQ(o.registry.dialogFind(o.dialog, u"empty"), -1);
    struct Nest {
        std::u16string_view child;
        std::u16string_view container;
    };
    for (const Nest& n : {Nest{u"inframe", u"frame"}, Nest{u"incanvas", u"holder"}}) {
        EXPECT_EQ(o.gadget(n.child)->parentWidget(), o.gadget(n.container)) << toUtf8(n.child);
    }
    EXPECT_TRUE(o.gadget(u"scrollarea")->isAncestorOf(o.gadget(u"inscroll")));
    EXPECT_TRUE(o.gadget(u"panel")->isAncestorOf(o.gadget(u"intab")));
    EXPECT_TRUE(o.gadget(u"splitter")->isAncestorOf(o.gadget(u"left")));
    EXPECT_NE(o.gadget(u"left")->parentWidget(), o.gadget(u"right")->parentWidget());
}

}  // namespace
}  // namespace corvane
