#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace corvane {

// Flag values as documents name them ("#WG_..."). The window values are the
// style bits the window layer reads: caption, system menu, sizing border,
// minimise and maximise boxes.
inline constexpr std::uint32_t WG_Window_ScreenCentered = 0x1;
inline constexpr std::uint32_t WG_Window_WindowCentered = 0x2;
inline constexpr std::uint32_t WG_Window_Tool = 0x4;
inline constexpr std::uint32_t WG_Window_BorderLess = 0x8;
inline constexpr std::uint32_t WG_Window_NoGadgets = 0x10;
inline constexpr std::uint32_t WG_Window_NoActivate = 0x20;
inline constexpr std::uint32_t WG_Window_TitleBar = 0xC00000;
inline constexpr std::uint32_t WG_Window_SystemMenu = 0xC80000;
inline constexpr std::uint32_t WG_Window_SizeGadget = 0xC40000;
inline constexpr std::uint32_t WG_Window_MinimizeGadget = 0xCA0000;
inline constexpr std::uint32_t WG_Window_MaximizeGadget = 0xC90000;
inline constexpr std::uint32_t WG_Window_Invisible = 0x10000000;
// Single style bits inside the window values above.
inline constexpr std::uint32_t WindowCaptionBits = 0xC00000;
inline constexpr std::uint32_t WindowSystemMenuBit = 0x80000;
inline constexpr std::uint32_t WindowSizeBorderBit = 0x40000;
inline constexpr std::uint32_t WindowMinimizeBit = 0x20000;
inline constexpr std::uint32_t WindowMaximizeBit = 0x10000;

inline constexpr std::uint32_t WG_Button_Default = 0x1;
inline constexpr std::uint32_t WG_Button_Left = 0x100;
inline constexpr std::uint32_t WG_Button_Right = 0x200;
inline constexpr std::uint32_t WG_Button_Toggle = 0x1000;
inline constexpr std::uint32_t WG_Button_MultiLine = 0x2000;

inline constexpr std::uint32_t WG_Editor_ReadOnly = 0x800;
inline constexpr std::uint32_t WG_Editor_WordWrap = 0x10000000;

inline constexpr std::uint32_t WG_Container_BorderLess = 0x0;
inline constexpr std::uint32_t WG_Container_Flat = 0x1;
inline constexpr std::uint32_t WG_Container_Raised = 0x2;
inline constexpr std::uint32_t WG_Container_Single = 0x4;
inline constexpr std::uint32_t WG_Container_Double = 0x8;

inline constexpr std::uint32_t WG_Canvas_Border = 0x2;
inline constexpr std::uint32_t WG_Canvas_Keyboard = 0x4;
inline constexpr std::uint32_t WG_Canvas_Container = 0x10;

inline constexpr std::uint32_t WG_CheckBox_Right = 0x1;
inline constexpr std::uint32_t WG_CheckBox_Center = 0x2;
inline constexpr std::uint32_t WG_CheckBox_ThreeState = 0x4;
inline constexpr std::uint32_t WG_ComboBox_Editable = 0x1;
inline constexpr std::uint32_t WG_Frame_Double = 0x1;
inline constexpr std::uint32_t WG_Frame_Single = 0x2;
inline constexpr std::uint32_t WG_Frame_Flat = 0x4;
inline constexpr std::uint32_t WG_ListView_MultiSelect = 0x1;
inline constexpr std::uint32_t WG_ListIcon_MultiSelect = 0x2;
inline constexpr std::uint32_t WG_ListIcon_GridLines = 0x4;
inline constexpr std::uint32_t WG_ListIcon_FullRowSelect = 0x8;
inline constexpr std::uint32_t WG_ScrollArea_BorderLess = 0x8;
inline constexpr std::uint32_t WG_ScrollBar_Vertical = 0x1;
inline constexpr std::uint32_t WG_Splitter_Vertical = 0x1;
inline constexpr std::uint32_t WG_String_Password = 0x1;
inline constexpr std::uint32_t WG_String_ReadOnly = 0x2;
inline constexpr std::uint32_t WG_String_BorderLess = 0x20;
inline constexpr std::uint32_t WG_Spin_ReadOnly = 0x1;
inline constexpr std::uint32_t WG_Tree_NoLines = 0x2;
inline constexpr std::uint32_t WG_Tree_NoButtons = 0x4;
inline constexpr std::uint32_t WG_Image_Border = 0x2;
inline constexpr std::uint32_t WG_ProgressBar_Vertical = 0x2;
inline constexpr std::uint32_t WG_TrackBar_Ticks = 0x1;
inline constexpr std::uint32_t WG_TrackBar_Vertical = 0x2;
inline constexpr std::uint32_t WG_HyperLink_Underline = 0x1;
inline constexpr std::uint32_t WG_Text_Center = 0x1;
inline constexpr std::uint32_t WG_Text_Right = 0x2;
inline constexpr std::uint32_t WG_Text_Border = 0x4;
inline constexpr std::uint32_t WG_Date_UpDown = 0x1;
inline constexpr std::uint32_t WG_Calendar_Borderless = 0x1;

struct FlagRow {
    std::u16string_view name;  // as in the table: "WG_..." without the "#"
    std::uint32_t value;
};

// The run of the flag table that an element kind resolves its FLAGS against.
enum class FlagRun : std::uint8_t {
    None,
    Window,
    Button,
    ImageButton,
    Calendar,
    Canvas,
    CheckBox,
    ComboBox,
    Container,
    Date,
    ExplorerCombo,
    ExplorerList,
    ExplorerTree,
    Editor,
    Frame,
    ListView,
    ListIcon,
    ScrollArea,
    ScrollBar,
    Splitter,
    String,
    Spin,
    Tree,
    Image,
    ProgressBar,
    TrackBar,
    HyperLink,
    Text,
};

// Every row of the table, run after run.
std::span<const FlagRow> flagTable();
// The rows of one run; empty for FlagRun::None.
std::span<const FlagRow> flagRun(FlagRun run);

struct FlagListResult {
    std::uint32_t flags = 0;
    // The first name that neither the run nor the runtime constants know.
    std::optional<std::u16string> unsupported;
};

// Reads a FLAGS value such as "#WG_Editor_ReadOnly | #WG_Editor_WordWrap":
// blanks around names, "#" before each, "|" between them. Reading stops at a
// name without "#", at a name longer than 128 characters and at one made of
// blanks only; an empty name is looked up like any other and is not found.
FlagListResult resolveFlagList(std::u16string_view value, FlagRun run);

}  // namespace corvane
