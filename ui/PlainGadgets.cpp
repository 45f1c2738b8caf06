// The factories of the plain gadget kinds, one Qt widget each.
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>

#include "ui/EditorGadget.h"
#include "ui/FlagTable.h"
#include "ui/GadgetFactory.h"

namespace corvane {

namespace {

using E = DialogElement;

QWidget* makeButton(E& e, QWidget* parent) {
    auto* b = new QPushButton(elementText(e), parent);
    b->setCheckable(hasFlag(e, WG_Button_Toggle));
    b->setDefault(hasFlag(e, WG_Button_Default));
    if (hasFlag(e, WG_Button_Left) || hasFlag(e, WG_Button_Right)) {
        // The alignment rule alone sets the caption against the bevel; it
        // keeps the inset the style gives a centred one.
        const int inset = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) / 2;
        const bool left = hasFlag(e, WG_Button_Left);
        b->setStyleSheet(QStringLiteral("text-align: %1; padding-%1: %2px")
                             .arg(left ? u"left" : u"right")
                             .arg(inset));
    }
    return b;
}

QWidget* makeCheckBox(E& e, QWidget* parent) {
    auto* c = new QCheckBox(elementText(e), parent);
    c->setTristate(hasFlag(e, WG_CheckBox_ThreeState));
    c->setLayoutDirection(hasFlag(e, WG_CheckBox_Right) ? Qt::RightToLeft : Qt::LeftToRight);
    return c;
}

QWidget* makeOption(E& e, QWidget* parent) {
    return new QRadioButton(elementText(e), parent);
}

QWidget* makeText(E& e, QWidget* parent) {
    auto* l = new QLabel(elementText(e), parent);
    l->setAlignment(hasFlag(e, WG_Text_Center)  ? Qt::AlignHCenter
                    : hasFlag(e, WG_Text_Right) ? Qt::AlignRight
                                                : Qt::AlignLeft);
    if (hasFlag(e, WG_Text_Border)) {
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    return l;
}

QWidget* makeHyperLink(E& e, QWidget* parent) {
    auto* l = new QLabel(elementText(e), parent);
    const QColor c(static_cast<int>(e.color & 0xFF), static_cast<int>((e.color >> 8) & 0xFF),
                   static_cast<int>((e.color >> 16) & 0xFF));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
    l->setCursor(Qt::PointingHandCursor);
    if (hasFlag(e, WG_HyperLink_Underline)) {
        applyDefaultFont(l);
        QFont f = l->font();
        f.setUnderline(true);
        l->setFont(f);
    }
    return l;
}

QWidget* makeString(E& e, QWidget* parent) {
    auto* s = new QLineEdit(elementText(e), parent);
    s->setEchoMode(hasFlag(e, WG_String_Password) ? QLineEdit::Password : QLineEdit::Normal);
    s->setReadOnly(hasFlag(e, WG_String_ReadOnly));
    s->setFrame(!hasFlag(e, WG_String_BorderLess));
    return s;
}

QWidget* makeImage(E& e, QWidget* parent) {
    auto* l = new QLabel(parent);
    if (hasFlag(e, WG_Image_Border)) {
        l->setFrameStyle(QFrame::Box | QFrame::Plain);
    }
    return l;
}

QWidget* makeButtonImage(E& e, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setCheckable(hasFlag(e, WG_Button_Toggle));
    return b;
}

QWidget* makeListView(E& e, QWidget* parent) {
    auto* l = new QListWidget(parent);
    if (hasFlag(e, WG_ListView_MultiSelect)) {
        l->setSelectionMode(QAbstractItemView::MultiSelection);
    }
    return l;
}

// A list icon and an explorer list: columns under a header.
QWidget* makeColumnList(E& e, QWidget* parent) {
    auto* t = new QTreeWidget(parent);
    t->setRootIsDecorated(false);
    t->setHeaderLabels({elementText(e)});
    if (e.kind->code == CodeListIcon) {
        t->setSelectionMode(hasFlag(e, WG_ListIcon_MultiSelect)
                                ? QAbstractItemView::MultiSelection
                                : QAbstractItemView::SingleSelection);
        t->setAllColumnsShowFocus(hasFlag(e, WG_ListIcon_FullRowSelect));
    }
    return t;
}

QWidget* makeTree(E& e, QWidget* parent) {
    auto* t = new QTreeWidget(parent);
    t->setHeaderHidden(true);
    if (e.kind->code == CodeTree) {
        t->setRootIsDecorated(!hasFlag(e, WG_Tree_NoButtons));
    }
    return t;
}

QWidget* makeComboBox(E& e, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setEditable(e.kind->code == CodeComboBox && hasFlag(e, WG_ComboBox_Editable));
    if (e.kind->code == CodeExplorerCombo && e.text) {
        c->addItem(elementText(e));
    }
    return c;
}

QWidget* makeCalendar(E&, QWidget* parent) {
    return new QCalendarWidget(parent);
}

QWidget* makeDate(E& e, QWidget* parent) {
    auto* d = new QDateEdit(parent);
    d->setCalendarPopup(!hasFlag(e, WG_Date_UpDown));
    if (e.text) {
        d->setDisplayFormat(elementText(e));
    }
    return d;
}

QWidget* makeEditor(E& e, QWidget* parent) {
    return createEditorGadget(parent, e.flags, e.text.value_or(std::u16string()));
}

QWidget* makeScrollBar(E& e, QWidget* parent) {
    auto* s =
        new QScrollBar(hasFlag(e, WG_ScrollBar_Vertical) ? Qt::Vertical : Qt::Horizontal, parent);
    s->setRange(e.minimum, e.maximum);
    s->setPageStep(e.page);
    s->setValue(e.value.value_or(e.minimum));
    return s;
}

QWidget* makeProgressBar(E& e, QWidget* parent) {
    auto* p = new QProgressBar(parent);
    p->setOrientation(hasFlag(e, WG_ProgressBar_Vertical) ? Qt::Vertical : Qt::Horizontal);
    p->setRange(e.minimum, e.maximum);
    p->setValue(e.value.value_or(e.minimum));
    return p;
}

QWidget* makeTrackBar(E& e, QWidget* parent) {
    auto* s = new QSlider(hasFlag(e, WG_TrackBar_Vertical) ? Qt::Vertical : Qt::Horizontal, parent);
    s->setRange(e.minimum, e.maximum);
    s->setValue(e.value.value_or(e.minimum));
    s->setTickPosition(hasFlag(e, WG_TrackBar_Ticks) ? QSlider::TicksBelow : QSlider::NoTicks);
    return s;
}

QWidget* makeSpin(E& e, QWidget* parent) {
    auto* s = new QSpinBox(parent);
    s->setRange(e.minimum, e.maximum);
    s->setValue(e.value.value_or(e.minimum));
    s->setReadOnly(hasFlag(e, WG_Spin_ReadOnly));
    return s;
}

// Stand-ins for kinds without a plain counterpart: a shortcut field, an
// address field, and text views for code and web content.
QWidget* makeShortcut(E&, QWidget* parent) {
    return new QKeySequenceEdit(parent);
}

QWidget* makeIpAddress(E& e, QWidget* parent) {
    auto* s = new QLineEdit(elementText(e), parent);
    s->setInputMask("000.000.000.000;_");
    return s;
}

QWidget* makeTextView(E& e, QWidget* parent) {
    return createTextViewGadget(parent, e.text.value_or(std::u16string()));
}

constexpr GadgetFactory Factories[] = {
    {CodeButton, makeButton},
    {CodeCheckBox, makeCheckBox},
    {CodeOption, makeOption},
    {CodeText, makeText},
    {CodeHyperLink, makeHyperLink},
    {CodeString, makeString},
    {CodeImage, makeImage},
    {CodeButtonImage, makeButtonImage},
    {CodeListView, makeListView},
    {CodeListIcon, makeColumnList},
    {CodeExplorerList, makeColumnList},
    {CodeTree, makeTree},
    {CodeExplorerTree, makeTree},
    {CodeComboBox, makeComboBox},
    {CodeExplorerCombo, makeComboBox},
    {CodeCalendar, makeCalendar},
    {CodeDate, makeDate},
    {CodeEditor, makeEditor},
    {CodeScrollBar, makeScrollBar},
    {CodeProgressBar, makeProgressBar},
    {CodeTrackBar, makeTrackBar},
    {CodeSpin, makeSpin},
    {CodeShortcut, makeShortcut},
    {CodeIpAddress, makeIpAddress},
    {CodeScintilla, makeTextView},
    {CodeWeb, makeTextView},
};

}  // namespace

std::span<const GadgetFactory> plainGadgetFactories() {
    return Factories;
}

}  // namespace corvane
