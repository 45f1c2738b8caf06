#include "ui/OwnAttributes.h"

#include <algorithm>

#include "ui/DialogText.h"
#include "ui/LayoutAttributes.h"

namespace corvane {

namespace {

bool is(std::u16string_view name, std::u16string_view key) {
    return equalsIgnoringCase(name, key);
}

// MARGIN, EXPAND and ALIGN of the one-child kinds; with caps also their
// EXPANDWIDTH and EXPANDHEIGHT. False for any other attribute.
bool readOneChild(OneChildFields& one, const XmlAttribute& a, bool capsAllowed) {
    const std::u16string_view n = a.name;
    if (is(n, u"MARGIN")) {
        parseMargin(a.value, one);
    } else if (is(n, u"EXPAND")) {
        parseOneChildExpand(a.value, one);
    } else if (is(n, u"ALIGN")) {
        parseOneChildAlign(a.value, one);
    } else if (capsAllowed && is(n, u"EXPANDWIDTH")) {
        one.capWidth = readNumber(a.value);
    } else if (capsAllowed && is(n, u"EXPANDHEIGHT")) {
        one.capHeight = readNumber(a.value);
    } else {
        return false;
    }
    return true;
}

void readWindow(ElementDescription& e, const XmlAttribute& a) {
    WindowLimits& limits = e.layout.limits;
    if (is(a.name, u"MINWIDTH")) {
        limits.minWidth = parseSizeLimit(a.value);
    } else if (is(a.name, u"MINHEIGHT")) {
        limits.minHeight = parseSizeLimit(a.value);
    } else if (is(a.name, u"MAXWIDTH")) {
        limits.maxWidth = parseSizeLimit(a.value);
    } else if (is(a.name, u"MAXHEIGHT")) {
        limits.maxHeight = parseSizeLimit(a.value);
    } else {
        readOneChild(e.layout.one, a, true);
    }
}

void readBox(ElementDescription& e, const XmlAttribute& a) {
    BoxFields& box = e.layout.box;
    if (is(a.name, u"SPACING")) {
        box.spacing = readNumber(a.value);
    } else if (is(a.name, u"EXPAND")) {
        parseExpandMode(a.value, box.expandMode, box.expandItem, false);
    } else if (is(a.name, u"ALIGN")) {
        parseBoxAlign(a.value, box.align);
    }
}

void readGrid(ElementDescription& e, const XmlAttribute& a) {
    GridFields& grid = e.layout.grid;
    if (is(a.name, u"COLUMNS")) {
        grid.columns = std::max(1, readNumber(a.value));
    } else if (is(a.name, u"COLSPACING")) {
        grid.colSpacing = readNumber(a.value);
    } else if (is(a.name, u"ROWSPACING")) {
        grid.rowSpacing = readNumber(a.value);
    } else if (is(a.name, u"COLEXPAND")) {
        parseExpandMode(a.value, grid.colExpand, grid.colItem, true);
    } else if (is(a.name, u"ROWEXPAND")) {
        parseExpandMode(a.value, grid.rowExpand, grid.rowItem, true);
    }
}

void readOneChildKind(ElementDescription& e, const XmlAttribute& a) {
    readOneChild(e.layout.one, a, true);
}

void readScrollArea(ElementDescription& e, const XmlAttribute& a) {
    ScrollFields& scroll = e.layout.scroll;
    if (is(a.name, u"INNERWIDTH")) {
        scroll.innerWidth = parseSizeLimit(a.value);
    } else if (is(a.name, u"INNERHEIGHT")) {
        scroll.innerHeight = parseSizeLimit(a.value);
    } else if (is(a.name, u"STEP")) {
        e.step = readNumber(a.value);
    } else if (is(a.name, u"SCROLLING")) {
        scroll.horizontalOnly = is(a.value, u"horizontal");
        scroll.verticalOnly = is(a.value, u"vertical");
    } else {
        readOneChild(e.layout.one, a, false);
    }
}

void readSplitter(ElementDescription& e, const XmlAttribute& a) {
    if (is(a.name, u"FIRSTMIN")) {
        e.layout.split.firstMin = parseSplitterMinimum(a.value);
    } else if (is(a.name, u"SECONDMIN")) {
        e.layout.split.secondMin = parseSplitterMinimum(a.value);
    }
}

void readOption(ElementDescription& e, const XmlAttribute& a) {
    if (is(a.name, u"GROUP")) {
        e.group = readNumber(a.value);
    }
}

void readHyperLink(ElementDescription& e, const XmlAttribute& a) {
    if (is(a.name, u"COLOR")) {
        e.color = static_cast<std::uint32_t>(readNumber(a.value));
    }
}

// MIN, MAX and VALUE of the bars, the slider and the spin; PAGE only for the
// scroll bar.
void readRange(ElementDescription& e, const XmlAttribute& a) {
    if (is(a.name, u"MIN")) {
        e.minimum = readNumber(a.value);
    } else if (is(a.name, u"MAX")) {
        e.maximum = readNumber(a.value);
    } else if (is(a.name, u"VALUE")) {
        e.value = readNumber(a.value);
    } else if (is(a.name, u"PAGE") && e.kind->code == CodeScrollBar) {
        e.page = readNumber(a.value);
    }
}

struct OwnReader {
    ElementCode code;
    void (*read)(ElementDescription&, const XmlAttribute&);
};

// The kinds with attributes of their own.
constexpr OwnReader OwnReaders[] = {
    {CodeWindow, readWindow},
    {CodeHBox, readBox},
    {CodeVBox, readBox},
    {CodeGridBox, readGrid},
    {CodeSingleBox, readOneChildKind},
    {CodeContainer, readOneChildKind},
    {CodeFrame, readOneChildKind},
    {CodeTab, readOneChildKind},
    {CodeCanvas, readOneChildKind},
    {CodeScrollArea, readScrollArea},
    {CodeSplitter, readSplitter},
    {CodeOption, readOption},
    {CodeHyperLink, readHyperLink},
    {CodeScrollBar, readRange},
    {CodeProgressBar, readRange},
    {CodeTrackBar, readRange},
    {CodeSpin, readRange},
};

}  // namespace

void readOwnAttribute(ElementDescription& element, const XmlAttribute& attribute) {
    for (const OwnReader& reader : OwnReaders) {
        if (reader.code == element.kind->code) {
            reader.read(element, attribute);
            return;
        }
    }
}

}  // namespace corvane
