#include "ui/ElementKinds.h"

#include <array>

#include "ui/DialogText.h"
#include "ui/EventQueue.h"

namespace corvane {

namespace {

constexpr std::uint16_t PlainEvents = EventsRead;
constexpr std::uint16_t EditEvents = EventsRead | EventChange | EventFocus | EventLostFocus;
constexpr std::uint16_t ListEvents = EventsRead | EventRightClick | EventLeftClick |
                                     EventRightDoubleClick | EventLeftDoubleClick | EventChange |
                                     EventDragStart;
constexpr std::uint16_t ImageEvents = EventsRead | EventRightClick | EventLeftClick |
                                      EventRightDoubleClick | EventLeftDoubleClick | EventDragStart;

using LK = LayoutKind;
using FR = FlagRun;

constexpr std::array<ElementKind, 40> KindTable{{
    {u"window", CodeWindow, LK::Window, FR::Window, 0, 8, false},
    {u"hbox", CodeHBox, LK::HBox, FR::None, 0, 0, false},
    {u"vbox", CodeVBox, LK::VBox, FR::None, 0, 0, false},
    {u"gridbox", CodeGridBox, LK::GridBox, FR::None, 0, 0, false},
    {u"singlebox", CodeSingleBox, LK::SingleBox, FR::None, 0, 10, false},
    {u"multibox", CodeMultiBox, LK::MultiBox, FR::None, 0, 0, false},
    {u"empty", CodeEmpty, LK::Gadget, FR::None, 0, 0, false},
    {u"button", CodeButton, LK::MeasuredGadget, FR::Button, PlainEvents, 0, true},
    {u"checkbox", CodeCheckBox, LK::MeasuredGadget, FR::CheckBox, PlainEvents, 0, true},
    {u"option", CodeOption, LK::MeasuredGadget, FR::None, PlainEvents, 0, true},
    {u"text", CodeText, LK::MeasuredGadget, FR::Text, PlainEvents, 0, true},
    {u"string", CodeString, LK::MeasuredGadget, FR::String, EditEvents, 0, true},
    {u"shortcut", CodeShortcut, LK::MeasuredGadget, FR::None, PlainEvents, 0, true},
    {u"image", CodeImage, LK::MeasuredGadget, FR::Image, ImageEvents, 0, true},
    {u"buttonimage", CodeButtonImage, LK::MeasuredGadget, FR::ImageButton, PlainEvents, 0, true},
    {u"listview", CodeListView, LK::MeasuredGadget, FR::ListView,
     EventsRead | EventLeftClick | EventLeftDoubleClick, 0, true},
    {u"listicon", CodeListIcon, LK::Gadget, FR::ListIcon, ListEvents, 0, true},
    {u"tree", CodeTree, LK::Gadget, FR::Tree, ListEvents, 0, true},
    {u"combobox", CodeComboBox, LK::MeasuredGadget, FR::ComboBox, EditEvents, 0, true},
    {u"calendar", CodeCalendar, LK::MeasuredGadget, FR::Calendar, PlainEvents, 0, true},
    {u"date", CodeDate, LK::MeasuredGadget, FR::Date, EventsRead | EventChange, 0, true},
    {u"explorercombo", CodeExplorerCombo, LK::MeasuredGadget, FR::ExplorerCombo, PlainEvents, 0,
     true},
    {u"explorerlist", CodeExplorerList, LK::Gadget, FR::ExplorerList, ListEvents, 0, true},
    {u"explorertree", CodeExplorerTree, LK::Gadget, FR::ExplorerTree, ListEvents, 0, true},
    {u"editor", CodeEditor, LK::Gadget, FR::Editor, PlainEvents, 0, true},
    {u"hyperlink", CodeHyperLink, LK::MeasuredGadget, FR::HyperLink, PlainEvents, 0, true},
    {u"ipaddress", CodeIpAddress, LK::MeasuredGadget, FR::None, PlainEvents, 0, true},
    {u"scintilla", CodeScintilla, LK::Gadget, FR::None, PlainEvents, 0, true},
    {u"scrollbar", CodeScrollBar, LK::Gadget, FR::ScrollBar, PlainEvents, 0, true},
    {u"progressbar", CodeProgressBar, LK::Gadget, FR::ProgressBar, PlainEvents, 0, true},
    {u"trackbar", CodeTrackBar, LK::Gadget, FR::TrackBar, PlainEvents, 0, true},
    {u"spin", CodeSpin, LK::MeasuredGadget, FR::Spin, EventsRead | EventChange, 0, true},
    {u"web", CodeWeb, LK::Gadget, FR::None, PlainEvents, 0, true},
    {u"canvas", CodeCanvas, LK::Gadget, FR::Canvas, 0, 10, true},
    {u"container", CodeContainer, LK::Container, FR::Container, 0, 10, true},
    {u"frame", CodeFrame, LK::Container, FR::Frame, 0, 5, true},
    {u"panel", CodePanel, LK::Panel, FR::None, EventsRead | EventChange, 0, true},
    {u"tab", CodeTab, LK::Tab, FR::None, 0, 10, false},
    {u"scrollarea", CodeScrollArea, LK::ScrollArea, FR::ScrollArea, 0, 10, true},
    {u"splitter", CodeSplitter, LK::Splitter, FR::Splitter, 0, 0, true},
}};

constexpr std::array<EventAttribute, 9> EventAttributeTable{{
    {u"ONEVENT", EventsRead, -1},
    {u"ONLEFTCLICK", EventLeftClick, GadgetLeftClick},
    {u"ONRIGHTCLICK", EventRightClick, GadgetRightClick},
    {u"ONLEFTDOUBLECLICK", EventLeftDoubleClick, GadgetLeftDoubleClick},
    {u"ONRIGHTDOUBLECLICK", EventRightDoubleClick, GadgetRightDoubleClick},
    {u"ONCHANGE", EventChange, GadgetChange},
    {u"ONFOCUS", EventFocus, GadgetFocusGained},
    {u"ONLOSTFOCUS", EventLostFocus, GadgetFocusLost},
    {u"ONDRAGSTART", EventDragStart, GadgetDragStart},
}};

}  // namespace

const ElementKind* findElementKind(std::u16string_view tag) {
    for (const ElementKind& kind : KindTable) {
        if (equalsIgnoringCase(kind.tag, tag)) {
            return &kind;
        }
    }
    return nullptr;
}

const EventAttribute* findEventAttribute(std::u16string_view name) {
    for (const EventAttribute& attribute : EventAttributeTable) {
        if (equalsIgnoringCase(attribute.name, name)) {
            return &attribute;
        }
    }
    return nullptr;
}

}  // namespace corvane
