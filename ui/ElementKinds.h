#pragma once

#include <cstdint>
#include <string_view>

#include "ui/BoxLayout.h"
#include "ui/FlagTable.h"

namespace corvane {

// Which event attributes a kind accepts. Kinds without EventsRead ignore
// event attributes altogether (layout kinds, the window, gadget containers
// other than the panel).
enum EventMask : std::uint16_t {
    EventsRead = 0x1,
    EventLeftClick = 0x2,
    EventRightClick = 0x4,
    EventLeftDoubleClick = 0x8,
    EventRightDoubleClick = 0x10,
    EventChange = 0x20,
    EventFocus = 0x40,
    EventLostFocus = 0x80,
    EventDragStart = 0x100,
};

// Kind codes the dialog layer gives its elements.
enum ElementCode : std::uint8_t {
    CodeWindow = 1,
    CodeButton = 3,
    CodeCheckBox = 4,
    CodeImage = 5,
    CodeOption = 6,
    CodeListView = 7,
    CodeListIcon = 8,
    CodeTree = 9,
    CodeContainer = 10,
    CodeComboBox = 11,
    CodeText = 12,
    CodeString = 13,
    CodePanel = 14,
    CodeTab = 15,
    CodeScrollArea = 16,
    CodeFrame = 17,
    CodeEditor = 20,
    CodeScintilla = 21,
    CodeScrollBar = 22,
    CodeProgressBar = 23,
    CodeExplorerList = 24,
    CodeExplorerTree = 25,
    CodeExplorerCombo = 26,
    CodeSplitter = 27,
    CodeShortcut = 28,
    CodeButtonImage = 29,
    CodeTrackBar = 30,
    CodeCanvas = 31,
    CodeCalendar = 32,
    CodeDate = 33,
    CodeSpin = 34,
    CodeWeb = 35,
    CodeHyperLink = 36,
    CodeIpAddress = 37,
    CodeVBox = 101,
    CodeHBox = 102,
    CodeMultiBox = 103,
    CodeSingleBox = 104,
    CodeGridBox = 105,
    CodeEmpty = 106,
};

// One row of the element kinds table: the tag, the kind code, how the box
// layout treats it, the flag run its FLAGS resolve against, the event
// attributes it accepts, its default MARGIN and whether it has a gadget.
struct ElementKind {
    std::u16string_view tag;
    ElementCode code;
    LayoutKind layout;
    FlagRun run;
    std::uint16_t events;
    int margin;
    bool gadget;
};

// The kind of a tag, ignoring case; none for tags outside the vocabulary
// (and for "dialogs", which is only ever a root).
const ElementKind* findElementKind(std::u16string_view tag);

struct EventAttribute {
    std::u16string_view name;
    std::uint16_t mask;  // EventsRead alone: accepted by every kind that reads events
    int type;            // the gadget event type carried in the event's extra field; -1 any
};

// The event attribute of that name, ignoring case; none for other attributes.
const EventAttribute* findEventAttribute(std::u16string_view name);

}  // namespace corvane
