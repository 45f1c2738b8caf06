#include <gtest/gtest.h>

#include <set>

#include "ui/DialogText.h"
#include "ui/FlagTable.h"

namespace corvane {
namespace {

TEST(FlagTable, HoldsEveryRunAsOneSlice) {
    EXPECT_EQ(flagTable().size(), 112u);
    struct Run {
        FlagRun run;
        std::size_t size;
        std::u16string_view first;
    };
    for (const Run& r : {Run{FlagRun::Window, 12, u"WG_Window_ScreenCentered"},
                         Run{FlagRun::Button, 5, u"WG_Button_Right"},
                         Run{FlagRun::ImageButton, 1, u"WG_Button_Toggle"},
                         Run{FlagRun::ExplorerCombo, 3, u"WG_Explorer_NoMyDocuments"},
                         Run{FlagRun::ExplorerList, 14, u"WG_Explorer_NoMyDocuments"},
                         Run{FlagRun::ExplorerTree, 8, u"WG_Explorer_BorderLess"},
                         Run{FlagRun::Editor, 2, u"WG_Editor_ReadOnly"},
                         Run{FlagRun::String, 8, u"WG_String_Password"},
                         Run{FlagRun::Text, 3, u"WG_Text_Center"}, Run{FlagRun::None, 0, u""}}) {
        const auto rows = flagRun(r.run);
        ASSERT_EQ(rows.size(), r.size) << toUtf8(r.first);
        if (!rows.empty()) {
            EXPECT_EQ(rows.front().name, r.first);
        }
        std::set<std::u16string_view> names;
        for (const FlagRow& row : rows) {
            EXPECT_TRUE(names.insert(row.name).second) << toUtf8(row.name);
        }
    }
}

TEST(FlagTable, FixedValues) {
    struct Fixed {
        FlagRun run;
        std::u16string_view name;
        std::uint32_t value;
    };
    for (const Fixed& f : {Fixed{FlagRun::Window, u"WG_Window_ScreenCentered", 0x1},
                           Fixed{FlagRun::Window, u"WG_Window_WindowCentered", 0x2},
                           Fixed{FlagRun::Window, u"WG_Window_SystemMenu", 0xC80000},
                           Fixed{FlagRun::Window, u"WG_Window_SizeGadget", 0xC40000},
                           Fixed{FlagRun::Window, u"WG_Window_MinimizeGadget", 0xCA0000},
                           Fixed{FlagRun::Window, u"WG_Window_MaximizeGadget", 0xC90000},
                           Fixed{FlagRun::Window, u"WG_Window_Invisible", 0x10000000},
                           Fixed{FlagRun::Editor, u"WG_Editor_ReadOnly", 0x800},
                           Fixed{FlagRun::Editor, u"WG_Editor_WordWrap", 0x10000000},
                           Fixed{FlagRun::Button, u"WG_Button_Left", 0x100},
                           Fixed{FlagRun::Button, u"WG_Button_Right", 0x200},
                           Fixed{FlagRun::Container, u"WG_Container_BorderLess", 0x0},
                           Fixed{FlagRun::Container, u"WG_Container_Flat", 0x1}}) {
        const FlagListResult r = resolveFlagList(u"#" + std::u16string(f.name), f.run);
        EXPECT_FALSE(r.unsupported) << toUtf8(f.name);
        EXPECT_EQ(r.flags, f.value) << toUtf8(f.name);
    }
}

struct ListCase {
    const char* label;
    std::u16string value;  // owned: some rows are built from pieces
    FlagRun run;
    std::uint32_t flags;
    std::optional<std::u16string> unsupported;
};

void PrintTo(const ListCase& c, std::ostream* out) {
    *out << c.label;
}

class FlagListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(FlagListTest, Resolves) {
    const ListCase& c = GetParam();
    const FlagListResult r = resolveFlagList(c.value, c.run);
    EXPECT_EQ(r.flags, c.flags) << c.label;
    EXPECT_EQ(r.unsupported, c.unsupported) << c.label;
}

const std::u16string longName = u"#" + std::u16string(129, u'x');
const std::u16string longestName = u"#" + std::u16string(128, u'x');

INSTANTIATE_TEST_SUITE_P(
    Cases, FlagListTest,
    ::testing::Values(
        ListCase{"window", u"#WG_Window_SystemMenu|#WG_Window_SizeGadget|#WG_Window_ScreenCentered",
                 FlagRun::Window, 0xCC0001, std::nullopt},
        ListCase{"blanks around", u" \t#WG_Editor_ReadOnly \t| #WG_Editor_WordWrap\t ",
                 FlagRun::Editor, 0x10000800, std::nullopt},
        ListCase{"any case", u"#wg_editor_READONLY", FlagRun::Editor, 0x800, std::nullopt},
        ListCase{"first without hash", u"WG_Editor_ReadOnly|#WG_Editor_WordWrap", FlagRun::Editor,
                 0, std::nullopt},
        ListCase{"later without hash stops", u"#WG_Editor_ReadOnly|WG_Editor_WordWrap",
                 FlagRun::Editor, 0x800, std::nullopt},
        ListCase{"other kind's flag", u"#WG_Button_Left", FlagRun::Editor, 0, u"WG_Button_Left"},
        ListCase{"no run", u"#WG_Button_Left", FlagRun::None, 0, u"WG_Button_Left"},
        ListCase{"first unsupported kept, rest read", u"#a|#WG_Editor_ReadOnly|#b", FlagRun::Editor,
                 0x800, u"a"},
        ListCase{"single character", u"#x", FlagRun::Editor, 0, u"x"},
        ListCase{"empty name looked up", u"#|#WG_Editor_ReadOnly", FlagRun::Editor, 0x800, u""},
        ListCase{"blank name stops", u"#  |#WG_Editor_ReadOnly", FlagRun::Editor, 0, std::nullopt},
        ListCase{"blank after hash kept", u"# WG_Editor_ReadOnly", FlagRun::Editor, 0,
                 u" WG_Editor_ReadOnly"},
        ListCase{"too long stops", longName + u"|#WG_Editor_ReadOnly", FlagRun::Editor, 0,
                 std::nullopt},
        ListCase{"128 characters read", longestName, FlagRun::Editor, 0, std::u16string(128, u'x')},
        ListCase{"trailing bar", u"#WG_Editor_ReadOnly|", FlagRun::Editor, 0x800, std::nullopt},
        ListCase{"image button toggle", u"#WG_Button_Toggle", FlagRun::ImageButton, 0x1000,
                 std::nullopt},
        ListCase{"empty value", u"", FlagRun::Editor, 0, std::nullopt}),
    [](const ::testing::TestParamInfo<ListCase>& row) {
        std::string name = row.param.label;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

}  // namespace
}  // namespace corvane
