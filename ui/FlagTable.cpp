#include "ui/FlagTable.h"

#include <algorithm>
#include <array>

#include "ui/DialogText.h"
#include "ui/RuntimeTable.h"

namespace corvane {

namespace {

// One array per run. Runs keep their own rows even where names repeat (the
// three explorer runs, and the image button's Toggle row), so a run is always
// one array of its own.
constexpr FlagRow WindowRows[] = {
    {u"WG_Window_ScreenCentered", WG_Window_ScreenCentered},
    {u"WG_Window_WindowCentered", WG_Window_WindowCentered},
    {u"WG_Window_Tool", WG_Window_Tool},
    {u"WG_Window_TitleBar", WG_Window_TitleBar},
    {u"WG_Window_SystemMenu", WG_Window_SystemMenu},
    {u"WG_Window_SizeGadget", WG_Window_SizeGadget},
    {u"WG_Window_MinimizeGadget", WG_Window_MinimizeGadget},
    {u"WG_Window_MaximizeGadget", WG_Window_MaximizeGadget},
    {u"WG_Window_Invisible", WG_Window_Invisible},
    {u"WG_Window_BorderLess", WG_Window_BorderLess},
    {u"WG_Window_NoGadgets", WG_Window_NoGadgets},
    {u"WG_Window_NoActivate", WG_Window_NoActivate},
};

constexpr FlagRow ButtonRows[] = {
    {u"WG_Button_Right", WG_Button_Right},     {u"WG_Button_Left", WG_Button_Left},
    {u"WG_Button_Default", WG_Button_Default}, {u"WG_Button_MultiLine", WG_Button_MultiLine},
    {u"WG_Button_Toggle", WG_Button_Toggle},
};

constexpr FlagRow ImageButtonRows[] = {
    {u"WG_Button_Toggle", WG_Button_Toggle},
};

constexpr FlagRow CalendarRows[] = {
    {u"WG_Calendar_Borderless", WG_Calendar_Borderless},
};

constexpr FlagRow CanvasRows[] = {
    {u"WG_Canvas_ClipMouse", 0x1},
    {u"WG_Canvas_Border", WG_Canvas_Border},
    {u"WG_Canvas_Keyboard", WG_Canvas_Keyboard},
    {u"WG_Canvas_DrawFocus", 0x8},
    {u"WG_Canvas_Container", WG_Canvas_Container},
};

constexpr FlagRow CheckBoxRows[] = {
    {u"WG_CheckBox_Right", WG_CheckBox_Right},
    {u"WG_CheckBox_Center", WG_CheckBox_Center},
    {u"WG_CheckBox_ThreeState", WG_CheckBox_ThreeState},
};

constexpr FlagRow ComboBoxRows[] = {
    {u"WG_ComboBox_Editable", WG_ComboBox_Editable},
    {u"WG_ComboBox_LowerCase", 0x2},
    {u"WG_ComboBox_UpperCase", 0x4},
    {u"WG_ComboBox_Image", 0x8},
};

constexpr FlagRow ContainerRows[] = {
    {u"WG_Container_BorderLess", WG_Container_BorderLess},
    {u"WG_Container_Flat", WG_Container_Flat},
    {u"WG_Container_Raised", WG_Container_Raised},
    {u"WG_Container_Single", WG_Container_Single},
    {u"WG_Container_Double", WG_Container_Double},
};

constexpr FlagRow DateRows[] = {
    {u"WG_Date_UpDown", WG_Date_UpDown},
    {u"WG_Date_CheckBox", 0x2},
};

constexpr FlagRow ExplorerComboRows[] = {
    {u"WG_Explorer_NoMyDocuments", 0x1},
    {u"WG_Explorer_DrivesOnly", 0x2},
    {u"WG_Explorer_Editable", 0x4},
};

constexpr FlagRow ExplorerListRows[] = {
    {u"WG_Explorer_NoMyDocuments", 0x1},       {u"WG_Explorer_NoFiles", 0x2},
    {u"WG_Explorer_NoDriveRequester", 0x4},    {u"WG_Explorer_AutoSort", 0x8},
    {u"WG_Explorer_BorderLess", 0x10},         {u"WG_Explorer_AlwaysShowSelection", 0x20},
    {u"WG_Explorer_NoParentFolder", 0x40},     {u"WG_Explorer_NoFolders", 0x80},
    {u"WG_Explorer_NoDirectoryChange", 0x100}, {u"WG_Explorer_NoSort", 0x200},
    {u"WG_Explorer_MultiSelect", 0x400},       {u"WG_Explorer_GridLines", 0x800},
    {u"WG_Explorer_HeaderDragDrop", 0x1000},   {u"WG_Explorer_FullRowSelect", 0x2000},
};

constexpr FlagRow ExplorerTreeRows[] = {
    {u"WG_Explorer_BorderLess", 0x10},      {u"WG_Explorer_AlwaysShowSelection", 0x20},
    {u"WG_Explorer_NoLines", 0x4000},       {u"WG_Explorer_NoButtons", 0x8000},
    {u"WG_Explorer_NoMyDocuments", 0x1},    {u"WG_Explorer_NoFiles", 0x2},
    {u"WG_Explorer_NoDriveRequester", 0x4}, {u"WG_Explorer_AutoSort", 0x8},
};

constexpr FlagRow EditorRows[] = {
    {u"WG_Editor_ReadOnly", WG_Editor_ReadOnly},
    {u"WG_Editor_WordWrap", WG_Editor_WordWrap},
};

constexpr FlagRow FrameRows[] = {
    {u"WG_Frame_Double", WG_Frame_Double},
    {u"WG_Frame_Single", WG_Frame_Single},
    {u"WG_Frame_Flat", WG_Frame_Flat},
};

constexpr FlagRow ListViewRows[] = {
    {u"WG_ListView_MultiSelect", WG_ListView_MultiSelect},
    {u"WG_ListView_ClickSelect", 0x2},
};

constexpr FlagRow ListIconRows[] = {
    {u"WG_ListIcon_CheckBoxes", 0x1},
    {u"WG_ListIcon_MultiSelect", WG_ListIcon_MultiSelect},
    {u"WG_ListIcon_GridLines", WG_ListIcon_GridLines},
    {u"WG_ListIcon_FullRowSelect", WG_ListIcon_FullRowSelect},
    {u"WG_ListIcon_HeaderDragDrop", 0x10},
    {u"WG_ListIcon_AlwaysShowSelection", 0x20},
    {u"WG_ListIcon_ThreeState", 0x40},
};

constexpr FlagRow ScrollAreaRows[] = {
    {u"WG_ScrollArea_Flat", 0x1},    {u"WG_ScrollArea_Raised", 0x2},
    {u"WG_ScrollArea_Single", 0x4},  {u"WG_ScrollArea_BorderLess", WG_ScrollArea_BorderLess},
    {u"WG_ScrollArea_Center", 0x10},
};

constexpr FlagRow ScrollBarRows[] = {
    {u"WG_ScrollBar_Vertical", WG_ScrollBar_Vertical},
};

constexpr FlagRow SplitterRows[] = {
    {u"WG_Splitter_Vertical", WG_Splitter_Vertical},
    {u"WG_Splitter_Separator", 0x2},
    {u"WG_Splitter_FirstFixed", 0x4},
    {u"WG_Splitter_SecondFixed", 0x8},
};

constexpr FlagRow StringRows[] = {
    {u"WG_String_Password", WG_String_Password},
    {u"WG_String_ReadOnly", WG_String_ReadOnly},
    {u"WG_String_Numeric", 0x4},
    {u"WG_String_LowerCase", 0x8},
    {u"WG_String_UpperCase", 0x10},
    {u"WG_String_BorderLess", WG_String_BorderLess},
    {u"WG_String_AutoComplete", 0x40},
    {u"WG_String_AutoInsert", 0x80},
};

constexpr FlagRow SpinRows[] = {
    {u"WG_Spin_ReadOnly", WG_Spin_ReadOnly},
    {u"WG_Spin_Numeric", 0x2},
};

constexpr FlagRow TreeRows[] = {
    {u"WG_Tree_AlwaysShowSelection", 0x1},
    {u"WG_Tree_NoLines", WG_Tree_NoLines},
    {u"WG_Tree_NoButtons", WG_Tree_NoButtons},
    {u"WG_Tree_CheckBoxes", 0x8},
    {u"WG_Tree_ThreeState", 0x10},
};

constexpr FlagRow ImageRows[] = {
    {u"WG_Image_Raised", 0x1},
    {u"WG_Image_Border", WG_Image_Border},
};

constexpr FlagRow ProgressBarRows[] = {
    {u"WG_ProgressBar_Smooth", 0x1},
    {u"WG_ProgressBar_Vertical", WG_ProgressBar_Vertical},
};

constexpr FlagRow TrackBarRows[] = {
    {u"WG_TrackBar_Ticks", WG_TrackBar_Ticks},
    {u"WG_TrackBar_Vertical", WG_TrackBar_Vertical},
};

constexpr FlagRow HyperLinkRows[] = {
    {u"WG_HyperLink_Underline", WG_HyperLink_Underline},
};

constexpr FlagRow TextRows[] = {
    {u"WG_Text_Center", WG_Text_Center},
    {u"WG_Text_Right", WG_Text_Right},
    {u"WG_Text_Border", WG_Text_Border},
};

struct RunRows {
    FlagRun run;
    std::span<const FlagRow> rows;
};

// The runs in table order; FlagRun::None has none.
constexpr RunRows Runs[] = {
    {FlagRun::Window, WindowRows},
    {FlagRun::Button, ButtonRows},
    {FlagRun::ImageButton, ImageButtonRows},
    {FlagRun::Calendar, CalendarRows},
    {FlagRun::Canvas, CanvasRows},
    {FlagRun::CheckBox, CheckBoxRows},
    {FlagRun::ComboBox, ComboBoxRows},
    {FlagRun::Container, ContainerRows},
    {FlagRun::Date, DateRows},
    {FlagRun::ExplorerCombo, ExplorerComboRows},
    {FlagRun::ExplorerList, ExplorerListRows},
    {FlagRun::ExplorerTree, ExplorerTreeRows},
    {FlagRun::Editor, EditorRows},
    {FlagRun::Frame, FrameRows},
    {FlagRun::ListView, ListViewRows},
    {FlagRun::ListIcon, ListIconRows},
    {FlagRun::ScrollArea, ScrollAreaRows},
    {FlagRun::ScrollBar, ScrollBarRows},
    {FlagRun::Splitter, SplitterRows},
    {FlagRun::String, StringRows},
    {FlagRun::Spin, SpinRows},
    {FlagRun::Tree, TreeRows},
    {FlagRun::Image, ImageRows},
    {FlagRun::ProgressBar, ProgressBarRows},
    {FlagRun::TrackBar, TrackBarRows},
    {FlagRun::HyperLink, HyperLinkRows},
    {FlagRun::Text, TextRows},
};

constexpr std::size_t RowCount = [] {
    std::size_t count = 0;
    for (const RunRows& run : Runs) {
        count += run.rows.size();
    }
    return count;
}();

// Every row, run after run, as one array.
constexpr std::array<FlagRow, RowCount> AllRows = [] {
    std::array<FlagRow, RowCount> all{};
    auto out = all.begin();
    for (const RunRows& run : Runs) {
        out = std::copy(run.rows.begin(), run.rows.end(), out);
    }
    return all;
}();

constexpr std::size_t MaxFlagNameLength = 128;

}  // namespace

std::span<const FlagRow> flagTable() {
    return AllRows;
}

std::span<const FlagRow> flagRun(FlagRun run) {
    for (const RunRows& candidate : Runs) {
        if (candidate.run == run) {
            return candidate.rows;
        }
    }
    return {};
}

FlagListResult resolveFlagList(std::u16string_view value, FlagRun run) {
    FlagListResult result;
    std::size_t pos = 0;
    while (true) {
        while (pos < value.size() && isBlank(value[pos])) {
            ++pos;
        }
        if (pos >= value.size() || value[pos] != u'#') {
            break;
        }
        ++pos;
        std::size_t end = value.find(u'|', pos);
        const bool last = end == std::u16string_view::npos;
        if (last) {
            end = value.size();
        }
        std::u16string_view raw = value.substr(pos, end - pos);
        std::u16string_view name = raw;
        while (!name.empty() && isBlank(name.back())) {
            name.remove_suffix(1);
        }
        if (name.size() > MaxFlagNameLength || (name.empty() && !raw.empty())) {
            break;
        }
        bool found = false;
        for (const FlagRow& row : flagRun(run)) {
            if (equalsIgnoringCase(row.name, name)) {
                result.flags |= row.value;
                found = true;
                break;
            }
        }
        if (!found) {
            if (const auto constant = runtimeConstant(name)) {
                result.flags |= static_cast<std::uint32_t>(*constant);
            } else if (!result.unsupported) {
                result.unsupported = std::u16string(name);
            }
        }
        if (last) {
            break;
        }
        pos = end + 1;
    }
    return result;
}

}  // namespace corvane
