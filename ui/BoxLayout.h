#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace corvane {

// The box layout as plain arithmetic on a tree of nodes, with no widgets: a
// required-size pass bottom-up that records child sizes, and a place pass
// top-down that hands every node its rectangle from those records. The
// dialog layer mirrors its element tree in these nodes, measures gadgets
// before the required-size pass and moves widgets to node.rect after a place
// pass. Sizes are pixels; divisions round towards zero; sums saturate at the
// 32-bit range instead of overflowing.

struct LayoutSize {
    int width = 0;
    int height = 0;
    bool operator==(const LayoutSize&) const = default;
};

struct LayoutRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const LayoutRect&) const = default;
};

enum class LayoutKind : std::uint8_t {
    Gadget,          // natural size is (WIDTH, HEIGHT): editor, empty, lists, bars
    MeasuredGadget,  // its own measure, raised to WIDTH and HEIGHT: button, text ...
    HBox,
    VBox,
    GridBox,
    SingleBox,
    MultiBox,
    Container,   // one-child gadget container: container, frame, canvas
    ScrollArea,  // one-child gadget container whose child scrolls
    Tab,         // one-child page whose gadget its panel positions
    Window,
    Panel,     // tabs share the page area
    Splitter,  // two children in two panes
};

enum class ExpandMode : int { Yes = 1, No = 2, Equal = 3, Item = 4 };
enum class BoxAlign : int { Start = 1, Center = 2, End = 3 };

struct BoxFields {
    int spacing = 5;
    ExpandMode expandMode = ExpandMode::Yes;
    int expandItem = 0;  // 0-based, folded children counted
    BoxAlign align = BoxAlign::Start;
    // Recorded by the required-size pass.
    std::vector<int> childSizes;
    int total = 0;
    int foldedCount = 0;
};

// Alignment codes of one-child containers: 0 none, 1 left/top, 2 centre,
// 3 right/bottom.
struct OneChildFields {
    int marginTop = 10;
    int marginBottom = 10;
    int marginLeft = 10;
    int marginRight = 10;
    bool expandWidth = true;
    bool expandHeight = true;
    int capWidth = 0;  // 0: no cap
    int capHeight = 0;
    int hAlign = 0;
    int vAlign = 0;
    // The gadget's own frame: total width and height it takes, and the offset
    // of its inner area. Set by the dialog layer from the gadget's kind.
    int frameWidth = 0;
    int frameHeight = 0;
    int frameLeft = 0;
    int frameTop = 0;
    // Recorded by the required-size pass.
    int childWidth = 0;
    int childHeight = 0;
    int borderWidth = 0;
    int borderHeight = 0;
};

// Window size limits as the document gives them.
inline constexpr int SizeLimitUnset = -2;
inline constexpr int SizeLimitAuto = -1;
inline constexpr int SizeLimitCeiling = 32000;

struct WindowLimits {
    int minWidth = SizeLimitUnset;
    int minHeight = SizeLimitUnset;
    int maxWidth = SizeLimitUnset;
    int maxHeight = SizeLimitUnset;
};

// Inner-size limits for the window after a required-size pass; an empty one
// leaves the window's current limit alone, 0 means no limit.
struct AppliedLimits {
    std::optional<int> minWidth;
    std::optional<int> minHeight;
    std::optional<int> maxWidth;
    std::optional<int> maxHeight;
    bool operator==(const AppliedLimits&) const = default;
};

struct GridFields {
    int columns = 2;
    int colSpacing = 5;
    int rowSpacing = 5;
    ExpandMode colExpand = ExpandMode::Yes;
    int colItem = 0;
    ExpandMode rowExpand = ExpandMode::No;
    int rowItem = 0;
    // One cell per child, filled by addGridChild.
    struct Cell {
        int column = 0;
        int row = 0;
        int columnSpan = 1;
        int rowSpan = 1;
    };
    std::vector<Cell> cells;
    std::vector<std::vector<bool>> occupied;  // [row][column]
    // Recorded by the required-size pass.
    std::vector<int> columnSizes;
    std::vector<int> rowSizes;
    int columnTotal = 0;
    int rowTotal = 0;
};

inline constexpr int SplitterAuto = -1;
inline constexpr int SplitterRequest = -2;

struct SplitterFields {
    bool vertical = false;
    int handle = 0;  // handle thickness, measured by the dialog layer
    int firstMin = SplitterAuto;
    int secondMin = SplitterAuto;
    // Recorded / placed.
    int firstRequired = 0;
    int secondRequired = 0;
    int firstSize = 0;
    int secondSize = 0;
};

struct ScrollFields {
    int innerWidth = SizeLimitAuto;  // 'auto' or a number
    int innerHeight = SizeLimitAuto;
    bool horizontalOnly = false;
    bool verticalOnly = false;
    LayoutSize content;  // placed: size of the scrolled inner area
};

struct LayoutNode {
    LayoutKind kind = LayoutKind::Gadget;
    bool folded = false;
    bool hasGadget = false;  // the place pass gives this node's gadget its rect
    bool nudgeText = false;  // text or hyperlink without a border
    int width = 0;           // WIDTH, HEIGHT
    int height = 0;
    LayoutSize measured;  // the gadget's own measure, for MeasuredGadget
    int columnSpan = 1;   // COLSPAN, ROWSPAN when the parent is a grid box
    int rowSpan = 1;
    // Boxes, grid, multibox, panel and splitter: all children in order;
    // one-child kinds: at most one.
    std::vector<LayoutNode*> children;
    BoxFields box;
    OneChildFields one;
    WindowLimits limits;
    AppliedLimits applied;
    GridFields grid;
    SplitterFields split;
    ScrollFields scroll;
    // Written by the place pass, in the coordinates of the gadget the node's
    // gadget lives in.
    LayoutRect rect;
};

// The border that a container gadget draws: 1 pixel on each side with any
// border flag, none when borderless.
LayoutSize containerBorder(std::uint32_t flags);

// Adds a child to a grid box: next free cell in row order, spans cut at the
// last column.
void addGridChild(LayoutNode& grid, LayoutNode& child);

LayoutSize naturalSize(LayoutNode& node);
LayoutSize requiredSize(LayoutNode& node);
void place(LayoutNode& node, int x, int y, int width, int height);

}  // namespace corvane
