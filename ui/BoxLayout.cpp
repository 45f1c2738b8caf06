#include "ui/BoxLayout.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "ui/FlagTable.h"

namespace corvane {

namespace {

int saturate(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(),
                                                     std::numeric_limits<int>::max()));
}

int plus(int a, int b) {
    return saturate(std::int64_t{a} + b);
}
int minus(int a, int b) {
    return saturate(std::int64_t{a} - b);
}

// Shares the length out among the entries along one axis, as a box does:
// 'equal' gives every placed entry the same share, a length below the total
// shrinks every entry in proportion, 'yes' spreads the rest evenly, 'item:N'
// gives it all to entry N, 'no' keeps the sizes and aligns the run. Skipped
// entries (folded children) get no slot and no spacing. Positions and
// lengths come back per entry; skipped ones are left untouched.
struct Share {
    std::vector<int> position;
    std::vector<int> length;
};

Share shareOut(const std::vector<int>& sizes, const std::vector<bool>& skip, int spacing,
               ExpandMode mode, int item, BoxAlign align, int total, int start, int length) {
    Share out;
    out.position.assign(sizes.size(), 0);
    out.length.assign(sizes.size(), 0);
    std::int64_t m = 0;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        m += skip[i] ? 0 : 1;
    }
    if (m <= 0) {
        return out;
    }
    std::int64_t running = start;
    if (mode == ExpandMode::No && !(length > 0 && length < total)) {
        if (align == BoxAlign::Center) {
            running += (std::int64_t{length} - total) / 2;
        } else if (align == BoxAlign::End) {
            running += std::int64_t{length} - total;
        }
    }
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        if (skip[i]) {
            continue;
        }
        std::int64_t s = sizes[i];
        if (mode == ExpandMode::Equal) {
            s = (std::int64_t{length} - (m - 1) * spacing) / m;
        } else if (length > 0 && length < total) {
            s = std::int64_t{sizes[i]} * length / total;
        } else if (mode == ExpandMode::Yes) {
            s += (std::int64_t{length} - total) / m;
        } else if (mode == ExpandMode::Item) {
            if (static_cast<std::int64_t>(i) == item) {
                s += std::int64_t{length} - total;
            }
        }
        out.position[i] = saturate(running);
        out.length[i] = saturate(s);
        running += s + spacing;
    }
    return out;
}

LayoutSize boxNatural(LayoutNode& node) {
    const bool across = node.kind == LayoutKind::HBox;
    BoxFields& box = node.box;
    box.childSizes.clear();
    box.foldedCount = 0;
    std::int64_t main = 0;
    int cross = 0;
    int largest = 0;
    std::int64_t m = 0;
    for (LayoutNode* child : node.children) {
        const LayoutSize s = requiredSize(*child);
        const int along = across ? s.width : s.height;
        box.childSizes.push_back(along);
        main += along;
        largest = std::max(largest, along);
        cross = std::max(cross, across ? s.height : s.width);
        if (child->folded) {
            ++box.foldedCount;
        } else {
            ++m;
        }
    }
    if (box.expandMode == ExpandMode::Equal) {
        main = m * largest;
    }
    if (m > 0) {
        main += std::int64_t{box.spacing} * (m - 1);
    }
    box.total = saturate(main);
    const int w = across ? box.total : cross;
    const int h = across ? cross : box.total;
    return {std::max(w, node.width), std::max(h, node.height)};
}

// Column or row sizes of a grid: single-span children first, then spanning
// children widen their last spanned line by what they still lack.
std::vector<int> gridLines(const LayoutNode& node, const std::vector<LayoutSize>& req, bool columns,
                           int count, int spacing) {
    std::vector<int> lines(static_cast<std::size_t>(count), 0);
    const auto& cells = node.grid.cells;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t i = 0; i < cells.size() && i < req.size(); ++i) {
            const int first = columns ? cells[i].column : cells[i].row;
            const int span = columns ? cells[i].columnSpan : cells[i].rowSpan;
            const int want = columns ? req[i].width : req[i].height;
            if ((span == 1) != (pass == 0) || first + span > count) {
                continue;
            }
            std::int64_t have = std::int64_t{spacing} * (span - 1);
            for (int k = first; k < first + span; ++k) {
                have += lines[static_cast<std::size_t>(k)];
            }
            if (want > have) {
                auto& last = lines[static_cast<std::size_t>(first + span - 1)];
                last = saturate(last + (want - have));
            }
        }
    }
    return lines;
}

int lineTotal(const std::vector<int>& lines, int spacing) {
    std::int64_t total = 0;
    for (int v : lines) {
        total += v;
    }
    if (!lines.empty()) {
        total += std::int64_t{spacing} * static_cast<std::int64_t>(lines.size() - 1);
    }
    return saturate(total);
}

LayoutSize gridNatural(LayoutNode& node) {
    GridFields& grid = node.grid;
    std::vector<LayoutSize> req;
    for (LayoutNode* child : node.children) {
        req.push_back(requiredSize(*child));
    }
    const int columns = std::max(1, grid.columns);
    const int rows = static_cast<int>(grid.occupied.size());
    grid.columnSizes = gridLines(node, req, true, columns, grid.colSpacing);
    grid.rowSizes = gridLines(node, req, false, rows, grid.rowSpacing);
    grid.columnTotal = lineTotal(grid.columnSizes, grid.colSpacing);
    grid.rowTotal = lineTotal(grid.rowSizes, grid.rowSpacing);
    return {std::max(grid.columnTotal, node.width), std::max(grid.rowTotal, node.height)};
}

LayoutSize oneChildNatural(LayoutNode& node) {
    OneChildFields& one = node.one;
    const LayoutSize child =
        node.children.empty() ? LayoutSize{} : requiredSize(*node.children.front());
    one.childWidth = child.width;
    one.childHeight = child.height;
    one.borderWidth = one.frameWidth;
    one.borderHeight = one.frameHeight;
    const int w =
        saturate(std::int64_t{one.marginLeft} + one.marginRight + child.width + one.borderWidth);
    const int h =
        saturate(std::int64_t{one.marginTop} + one.marginBottom + child.height + one.borderHeight);
    return {std::max(node.width, w), std::max(node.height, h)};
}

void applyWindowLimits(LayoutNode& node, LayoutSize& size) {
    const WindowLimits& l = node.limits;
    node.applied = {};
    if (l.minWidth == SizeLimitUnset && l.minHeight == SizeLimitUnset &&
        l.maxWidth == SizeLimitUnset && l.maxHeight == SizeLimitUnset) {
        return;
    }
    auto minimum = [](int limit, int& computed) -> std::optional<int> {
        if (limit == SizeLimitUnset) {
            return std::nullopt;
        }
        if (limit == SizeLimitAuto) {
            return computed;
        }
        computed = std::max(computed, limit);
        return limit;
    };
    auto maximum = [](int limit, int computed) -> std::optional<int> {
        if (limit == SizeLimitUnset) {
            return std::nullopt;
        }
        return std::min(limit == SizeLimitAuto ? computed : limit, SizeLimitCeiling);
    };
    node.applied.minWidth = minimum(l.minWidth, size.width);
    node.applied.maxWidth = maximum(l.maxWidth, size.width);
    node.applied.minHeight = minimum(l.minHeight, size.height);
    node.applied.maxHeight = maximum(l.maxHeight, size.height);
}

int splitterMinimum(int setting, int required) {
    if (setting == SplitterRequest) {
        return required;
    }
    return setting == SplitterAuto ? 0 : std::max(0, setting);
}

LayoutSize splitterNatural(LayoutNode& node) {
    SplitterFields& split = node.split;
    LayoutSize first;
    LayoutSize second;
    if (!node.children.empty()) {
        first = requiredSize(*node.children[0]);
    }
    if (node.children.size() > 1) {
        second = requiredSize(*node.children[1]);
    }
    split.firstRequired = split.vertical ? first.height : first.width;
    split.secondRequired = split.vertical ? second.height : second.width;
    const int main =
        saturate(std::int64_t{splitterMinimum(split.firstMin, split.firstRequired)} + split.handle +
                 splitterMinimum(split.secondMin, split.secondRequired));
    const int cross = split.vertical ? std::max(first.width, second.width)
                                     : std::max(first.height, second.height);
    const int w = split.vertical ? cross : main;
    const int h = split.vertical ? main : cross;
    return {std::max(w, node.width), std::max(h, node.height)};
}

// The one-child rule: the child's rectangle inside the area (x, y, w, h).
LayoutRect oneChildRect(const LayoutNode& node, int x, int y, int w, int h) {
    const OneChildFields& one = node.one;
    x = plus(x, one.marginLeft);
    y = plus(y, one.marginTop);
    w = saturate(std::int64_t{w} - one.marginLeft - one.marginRight);
    h = saturate(std::int64_t{h} - one.marginTop - one.marginBottom);
    auto fit = [](int& pos, int& len, int child, bool expand, int cap, int align) {
        const int area = len;
        if (area <= child) {
            return;
        }
        if (!expand) {
            len = child;
        } else if (cap > 0 && cap < area) {
            len = std::max(child, cap);
        }
        if (align == 2) {
            pos = plus(pos, (area - len) / 2);
        } else if (align == 3) {
            pos = plus(pos, area - len);
        }
    };
    fit(x, w, one.childWidth, one.expandWidth, one.capWidth, one.hAlign);
    fit(y, h, one.childHeight, one.expandHeight, one.capHeight, one.vAlign);
    return {x, y, w, h};
}

void placeOneChild(LayoutNode& node, int x, int y, int w, int h) {
    if (node.children.empty()) {
        return;
    }
    const LayoutRect r = oneChildRect(node, x, y, w, h);
    place(*node.children.front(), r.x, r.y, r.width, r.height);
}

void placeBox(LayoutNode& node, int x, int y, int w, int h) {
    const bool across = node.kind == LayoutKind::HBox;
    const BoxFields& box = node.box;
    std::vector<bool> skip;
    for (const LayoutNode* child : node.children) {
        skip.push_back(child->folded);
    }
    std::vector<int> sizes = box.childSizes;
    sizes.resize(node.children.size(), 0);
    const Share share = shareOut(sizes, skip, box.spacing, box.expandMode, box.expandItem,
                                 box.align, box.total, across ? x : y, across ? w : h);
    for (std::size_t i = 0; i < node.children.size(); ++i) {
        if (skip[i]) {
            continue;
        }
        if (across) {
            place(*node.children[i], share.position[i], y, share.length[i], h);
        } else {
            place(*node.children[i], x, share.position[i], w, share.length[i]);
        }
    }
}

void placeGrid(LayoutNode& node, int x, int y, int w, int h) {
    const GridFields& grid = node.grid;
    const Share cols =
        shareOut(grid.columnSizes, std::vector<bool>(grid.columnSizes.size()), grid.colSpacing,
                 grid.colExpand, grid.colItem, BoxAlign::Start, grid.columnTotal, x, w);
    const Share rows =
        shareOut(grid.rowSizes, std::vector<bool>(grid.rowSizes.size()), grid.rowSpacing,
                 grid.rowExpand, grid.rowItem, BoxAlign::Start, grid.rowTotal, y, h);
    for (std::size_t i = 0; i < node.children.size() && i < grid.cells.size(); ++i) {
        const GridFields::Cell& c = grid.cells[i];
        const auto lastCol = static_cast<std::size_t>(c.column + c.columnSpan - 1);
        const auto lastRow = static_cast<std::size_t>(c.row + c.rowSpan - 1);
        if (node.children[i]->folded || lastCol >= cols.position.size() ||
            lastRow >= rows.position.size()) {
            continue;
        }
        const int cx = cols.position[static_cast<std::size_t>(c.column)];
        const int cy = rows.position[static_cast<std::size_t>(c.row)];
        place(*node.children[i], cx, cy,
              minus(plus(cols.position[lastCol], cols.length[lastCol]), cx),
              minus(plus(rows.position[lastRow], rows.length[lastRow]), cy));
    }
}

void placeSplitter(LayoutNode& node, int w, int h) {
    SplitterFields& split = node.split;
    const int length = split.vertical ? h : w;
    const int avail = std::max(0, minus(length, split.handle));
    const int firstMin = splitterMinimum(split.firstMin, split.firstRequired);
    const int secondMin = splitterMinimum(split.secondMin, split.secondRequired);
    int first = avail / 2;
    first = std::max(first, firstMin);
    first = std::min(first, avail - secondMin);
    first = std::clamp(first, 0, avail);
    split.firstSize = first;
    split.secondSize = avail - first;
    // Each pane is a gadget of its own: children sit at its origin.
    for (std::size_t i = 0; i < node.children.size() && i < 2; ++i) {
        const int pane = i == 0 ? split.firstSize : split.secondSize;
        place(*node.children[i], 0, 0, split.vertical ? w : pane, split.vertical ? pane : h);
    }
}

void placeScrollArea(LayoutNode& node, int w, int h) {
    const OneChildFields& one = node.one;
    ScrollFields& scroll = node.scroll;
    const int viewW = std::max(0, minus(w, one.borderWidth));
    const int viewH = std::max(0, minus(h, one.borderHeight));
    const int wantW = saturate(std::int64_t{one.marginLeft} + one.marginRight + one.childWidth);
    const int wantH = saturate(std::int64_t{one.marginTop} + one.marginBottom + one.childHeight);
    scroll.content.width =
        scroll.innerWidth == SizeLimitAuto ? std::max(viewW, wantW) : scroll.innerWidth;
    scroll.content.height =
        scroll.innerHeight == SizeLimitAuto ? std::max(viewH, wantH) : scroll.innerHeight;
    if (scroll.verticalOnly) {
        scroll.content.width = viewW;
    }
    if (scroll.horizontalOnly) {
        scroll.content.height = viewH;
    }
    placeOneChild(node, 0, 0, scroll.content.width, scroll.content.height);
}

}  // namespace

LayoutSize containerBorder(std::uint32_t flags) {
    // Flat draws a 1-pixel line; the other border styles a thin edge of the
    // same width on each side.
    if ((flags & (WG_Container_Flat | WG_Container_Raised | WG_Container_Single |
                  WG_Container_Double)) != 0) {
        return {2, 2};
    }
    return {0, 0};
}

void addGridChild(LayoutNode& grid, LayoutNode& child) {
    GridFields& g = grid.grid;
    const int columns = std::max(1, g.columns);
    const int wantColumns = std::max(1, child.columnSpan);
    const int rowSpan = std::max(1, child.rowSpan);
    // The next free cell in row order.
    int row = 0;
    int column = 0;
    for (;; ++row) {
        if (static_cast<std::size_t>(row) >= g.occupied.size()) {
            g.occupied.emplace_back(static_cast<std::size_t>(columns), false);
        }
        auto& line = g.occupied[static_cast<std::size_t>(row)];
        const auto free = std::find(line.begin(), line.end(), false);
        if (free != line.end()) {
            column = static_cast<int>(free - line.begin());
            break;
        }
    }
    const int columnSpan = std::min(wantColumns, columns - column);
    for (int r = row; r < row + rowSpan; ++r) {
        while (static_cast<std::size_t>(r) >= g.occupied.size()) {
            g.occupied.emplace_back(static_cast<std::size_t>(columns), false);
        }
        for (int c = column; c < column + columnSpan; ++c) {
            g.occupied[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = true;
        }
    }
    g.cells.push_back({column, row, columnSpan, rowSpan});
    grid.children.push_back(&child);
}

LayoutSize naturalSize(LayoutNode& node) {
    switch (node.kind) {
        case LayoutKind::Gadget:
            return {node.width, node.height};
        case LayoutKind::MeasuredGadget:
            return {std::max(node.measured.width, node.width),
                    std::max(node.measured.height, node.height)};
        case LayoutKind::HBox:
        case LayoutKind::VBox:
            return boxNatural(node);
        case LayoutKind::GridBox:
            return gridNatural(node);
        case LayoutKind::SingleBox:
        case LayoutKind::Container:
        case LayoutKind::Tab:
            return oneChildNatural(node);
        case LayoutKind::ScrollArea: {
            // The child scrolls, so the area asks only for its own size.
            oneChildNatural(node);
            return {std::max(node.width, node.one.borderWidth),
                    std::max(node.height, node.one.borderHeight)};
        }
        case LayoutKind::Window: {
            LayoutSize size = oneChildNatural(node);
            applyWindowLimits(node, size);
            return size;
        }
        case LayoutKind::MultiBox:
        case LayoutKind::Panel: {
            LayoutSize size;
            for (LayoutNode* child : node.children) {
                const LayoutSize s = requiredSize(*child);
                size.width = std::max(size.width, s.width);
                size.height = std::max(size.height, s.height);
            }
            if (node.kind == LayoutKind::Panel) {
                size.width = plus(size.width, node.one.frameWidth);
                size.height = plus(size.height, node.one.frameHeight);
            }
            return {std::max(size.width, node.width), std::max(size.height, node.height)};
        }
        case LayoutKind::Splitter:
            return splitterNatural(node);
    }
    return {};
}

LayoutSize requiredSize(LayoutNode& node) {
    if (node.kind == LayoutKind::MeasuredGadget) {
        // A gadget that measures itself ignores FOLDED and -1 here.
        return naturalSize(node);
    }
    if (node.folded) {
        return {};
    }
    LayoutSize size = naturalSize(node);
    if (node.width == -1) {
        size.width = 0;
    }
    if (node.height == -1) {
        size.height = 0;
    }
    return size;
}

void place(LayoutNode& node, int x, int y, int w, int h) {
    node.rect = {x, y, w, h};
    switch (node.kind) {
        case LayoutKind::Gadget:
        case LayoutKind::MeasuredGadget:
            if (node.nudgeText) {
                const int own = std::max(node.height, node.measured.height);
                if (own <= minus(h, 2)) {
                    node.rect = {x, plus(y, 2), w, minus(h, 2)};
                }
            }
            return;
        case LayoutKind::HBox:
        case LayoutKind::VBox:
            placeBox(node, x, y, w, h);
            return;
        case LayoutKind::GridBox:
            placeGrid(node, x, y, w, h);
            return;
        case LayoutKind::SingleBox:
        case LayoutKind::Tab:
            placeOneChild(node, x, y, w, h);
            return;
        case LayoutKind::MultiBox:
            for (LayoutNode* child : node.children) {
                place(*child, x, y, w, h);
            }
            return;
        case LayoutKind::Container:
            // The child lives inside the container's gadget, in its coordinates.
            placeOneChild(node, node.one.frameLeft, node.one.frameTop,
                          minus(w, node.one.borderWidth), minus(h, node.one.borderHeight));
            return;
        case LayoutKind::ScrollArea:
            placeScrollArea(node, w, h);
            return;
        case LayoutKind::Window: {
            if (node.children.empty()) {
                return;
            }
            const OneChildFields& one = node.one;
            const LayoutRect r = oneChildRect(node, x, y, w, h);
            const int fullW = saturate(std::int64_t{w} - one.marginLeft - one.marginRight);
            const int fullH = saturate(std::int64_t{h} - one.marginTop - one.marginBottom);
            place(*node.children.front(), r.x, r.y, std::max(fullW, r.width),
                  std::max(fullH, r.height));
            return;
        }
        case LayoutKind::Panel:
            // Every tab page has the panel's page area, at its own origin.
            for (LayoutNode* child : node.children) {
                place(*child, 0, 0, minus(w, node.one.frameWidth), minus(h, node.one.frameHeight));
            }
            return;
        case LayoutKind::Splitter:
            placeSplitter(node, w, h);
            return;
    }
}

}  // namespace corvane
