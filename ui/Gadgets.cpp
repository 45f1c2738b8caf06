#include "ui/Gadgets.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <algorithm>
#include <map>

#include "ui/EditorGadget.h"
#include "ui/FlagTable.h"
#include "ui/Font.h"

namespace corvane {

namespace {

// Every gadget takes the default gadget font at its creation; gadgets made
// earlier keep theirs. Applied before any size is measured from the font.
void applyDefaultFont(QWidget* widget) {
    if (auto font = currentDefaultGadgetFont()) {
        widget->setFont(*font);
    }
}

QString qText(const DialogElement& e) {
    return e.text ? QString::fromStdU16String(*e.text) : QString();
}

bool has(const DialogElement& e, std::uint32_t flag) {
    return (e.flags & flag) != 0;
}

QFrame* borderedFrame(QWidget* parent, bool border) {
    auto* frame = new QFrame(parent);
    if (border) {
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
    }
    return frame;
}

// Kinds with a plain Qt counterpart; returns the widget, or none for kinds
// handled by the caller.
QWidget* createPlain(DialogElement& e, QWidget* parent) {
    switch (e.kind->code) {
        case CodeButton: {
            auto* b = new QPushButton(qText(e), parent);
            b->setCheckable(has(e, WG_Button_Toggle));
            b->setDefault(has(e, WG_Button_Default));
            if (has(e, WG_Button_Left) || has(e, WG_Button_Right)) {
                // The alignment rule alone sets the caption against the
                // bevel; it keeps the inset the style gives a centred one.
                const int inset = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b) / 2;
                const bool left = has(e, WG_Button_Left);
                b->setStyleSheet(QStringLiteral("text-align: %1; padding-%1: %2px")
                                     .arg(left ? u"left" : u"right")
                                     .arg(inset));
            }
            return b;
        }
        case CodeCheckBox: {
            auto* c = new QCheckBox(qText(e), parent);
            c->setTristate(has(e, WG_CheckBox_ThreeState));
            c->setLayoutDirection(has(e, WG_CheckBox_Right) ? Qt::RightToLeft : Qt::LeftToRight);
            return c;
        }
        case CodeOption:
            return new QRadioButton(qText(e), parent);
        case CodeText:
        case CodeHyperLink: {
            auto* l = new QLabel(qText(e), parent);
            if (e.kind->code == CodeText) {
                l->setAlignment(has(e, WG_Text_Center)  ? Qt::AlignHCenter
                                : has(e, WG_Text_Right) ? Qt::AlignRight
                                                        : Qt::AlignLeft);
                if (has(e, WG_Text_Border)) {
                    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                }
            } else {
                const QColor c(static_cast<int>(e.color & 0xFF),
                               static_cast<int>((e.color >> 8) & 0xFF),
                               static_cast<int>((e.color >> 16) & 0xFF));
                QPalette p = l->palette();
                p.setColor(QPalette::WindowText, c);
                l->setPalette(p);
                l->setCursor(Qt::PointingHandCursor);
                if (has(e, WG_HyperLink_Underline)) {
                    applyDefaultFont(l);
                    QFont f = l->font();
                    f.setUnderline(true);
                    l->setFont(f);
                }
            }
            return l;
        }
        case CodeString: {
            auto* s = new QLineEdit(qText(e), parent);
            s->setEchoMode(has(e, WG_String_Password) ? QLineEdit::Password : QLineEdit::Normal);
            s->setReadOnly(has(e, WG_String_ReadOnly));
            s->setFrame(!has(e, WG_String_BorderLess));
            return s;
        }
        case CodeImage: {
            auto* l = new QLabel(parent);
            if (has(e, WG_Image_Border)) {
                l->setFrameStyle(QFrame::Box | QFrame::Plain);
            }
            return l;
        }
        case CodeButtonImage: {
            auto* b = new QToolButton(parent);
            b->setCheckable(has(e, WG_Button_Toggle));
            return b;
        }
        case CodeListView: {
            auto* l = new QListWidget(parent);
            if (has(e, WG_ListView_MultiSelect)) {
                l->setSelectionMode(QAbstractItemView::MultiSelection);
            }
            return l;
        }
        case CodeListIcon:
        case CodeExplorerList: {
            auto* t = new QTreeWidget(parent);
            t->setRootIsDecorated(false);
            t->setHeaderLabels({qText(e)});
            if (e.kind->code == CodeListIcon) {
                t->setSelectionMode(has(e, WG_ListIcon_MultiSelect)
                                        ? QAbstractItemView::MultiSelection
                                        : QAbstractItemView::SingleSelection);
                t->setAllColumnsShowFocus(has(e, WG_ListIcon_FullRowSelect));
            }
            return t;
        }
        case CodeTree:
        case CodeExplorerTree: {
            auto* t = new QTreeWidget(parent);
            t->setHeaderHidden(true);
            if (e.kind->code == CodeTree) {
                t->setRootIsDecorated(!has(e, WG_Tree_NoButtons));
            }
            return t;
        }
        case CodeComboBox:
        case CodeExplorerCombo: {
            auto* c = new QComboBox(parent);
            c->setEditable(e.kind->code == CodeComboBox && has(e, WG_ComboBox_Editable));
            if (e.kind->code == CodeExplorerCombo && e.text) {
                c->addItem(qText(e));
            }
            return c;
        }
        case CodeCalendar:
            return new QCalendarWidget(parent);
        case CodeDate: {
            auto* d = new QDateEdit(parent);
            d->setCalendarPopup(!has(e, WG_Date_UpDown));
            if (e.text) {
                d->setDisplayFormat(qText(e));
            }
            return d;
        }
        case CodeEditor:
            return createEditorGadget(parent, e.flags, e.text.value_or(std::u16string()));
        case CodeScrollBar: {
            auto* s = new QScrollBar(has(e, WG_ScrollBar_Vertical) ? Qt::Vertical : Qt::Horizontal,
                                     parent);
            s->setRange(e.minimum, e.maximum);
            s->setPageStep(e.page);
            s->setValue(e.value.value_or(e.minimum));
            return s;
        }
        case CodeProgressBar: {
            auto* p = new QProgressBar(parent);
            p->setOrientation(has(e, WG_ProgressBar_Vertical) ? Qt::Vertical : Qt::Horizontal);
            p->setRange(e.minimum, e.maximum);
            p->setValue(e.value.value_or(e.minimum));
            return p;
        }
        case CodeTrackBar: {
            auto* s =
                new QSlider(has(e, WG_TrackBar_Vertical) ? Qt::Vertical : Qt::Horizontal, parent);
            s->setRange(e.minimum, e.maximum);
            s->setValue(e.value.value_or(e.minimum));
            s->setTickPosition(has(e, WG_TrackBar_Ticks) ? QSlider::TicksBelow : QSlider::NoTicks);
            return s;
        }
        case CodeSpin: {
            auto* s = new QSpinBox(parent);
            s->setRange(e.minimum, e.maximum);
            s->setValue(e.value.value_or(e.minimum));
            s->setReadOnly(has(e, WG_Spin_ReadOnly));
            return s;
        }
        // Stand-ins for kinds without a plain counterpart: a shortcut field,
        // an address field, and text views for code and web content.
        case CodeShortcut:
            return new QKeySequenceEdit(parent);
        case CodeIpAddress: {
            auto* s = new QLineEdit(qText(e), parent);
            s->setInputMask("000.000.000.000;_");
            return s;
        }
        case CodeScintilla:
        case CodeWeb:
            return createEditorGadget(parent, 0, e.text.value_or(std::u16string()));
        default:
            return nullptr;
    }
}

void setFrame(LayoutNode& node, int left, int top, int right, int bottom) {
    node.one.frameLeft = left;
    node.one.frameTop = top;
    node.one.frameWidth = left + right;
    node.one.frameHeight = top + bottom;
}

}  // namespace

void createGadget(DialogElement& e, QWidget* parent) {
    QWidget* w = createPlain(e, parent);
    // A gadget that chose its font already (a link's underline) keeps it.
    if (w != nullptr && !w->testAttribute(Qt::WA_SetFont)) {
        applyDefaultFont(w);
    }
    switch (e.kind->code) {
        case CodeContainer: {
            const LayoutSize border = containerBorder(e.flags);
            auto* frame = borderedFrame(parent, border.width > 0);
            if (has(e, WG_Container_Raised)) {
                frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
            } else if (has(e, WG_Container_Single) || has(e, WG_Container_Double)) {
                frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            }
            frame->setLineWidth(1);
            setFrame(e.layout, border.width / 2, border.height / 2, border.width / 2,
                     border.height / 2);
            w = frame;
            e.inner = frame;
            break;
        }
        case CodeCanvas: {
            const bool border = has(e, WG_Canvas_Border);
            auto* frame = borderedFrame(parent, border);
            frame->setFocusPolicy(has(e, WG_Canvas_Keyboard) ? Qt::StrongFocus : Qt::NoFocus);
            if (has(e, WG_Canvas_Container)) {
                e.layout.kind = LayoutKind::Container;
                setFrame(e.layout, border ? 1 : 0, border ? 1 : 0, border ? 1 : 0, border ? 1 : 0);
                e.inner = frame;
            }
            w = frame;
            break;
        }
        case CodeFrame: {
            auto* box = new QGroupBox(qText(e), parent);
            applyDefaultFont(box);
            box->setFlat(has(e, WG_Frame_Flat));
            // The caption sits on the top edge; the rest is a thin frame.
            const int edge = has(e, WG_Frame_Double) ? 2 : 1;
            setFrame(e.layout, edge, QFontMetrics(box->font()).height() + edge, edge, edge);
            w = box;
            e.inner = box;
            break;
        }
        case CodePanel: {
            auto* tabs = new QTabWidget(parent);
            applyDefaultFont(tabs);
            const int edge = tabs->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            setFrame(e.layout, edge, tabs->tabBar()->sizeHint().height() + edge, edge, edge);
            w = tabs;
            e.inner = tabs;
            break;
        }
        case CodeTab: {
            // A page of the enclosing panel; anywhere else a plain page.
            auto* page = new QWidget(parent);
            if (auto* tabs = qobject_cast<QTabWidget*>(parent)) {
                tabs->addTab(page, qText(e));
            } else {
                page->setGeometry(0, 0, 0, 0);
            }
            e.inner = page;
            return;
        }
        case CodeScrollArea: {
            auto* area = new QScrollArea(parent);
            area->setWidgetResizable(false);
            if (has(e, WG_ScrollArea_BorderLess)) {
                area->setFrameShape(QFrame::NoFrame);
            }
            auto* content = new QWidget;
            area->setWidget(content);
            area->horizontalScrollBar()->setSingleStep(e.step);
            area->verticalScrollBar()->setSingleStep(e.step);
            const int edge = area->frameWidth();
            setFrame(e.layout, edge, edge, edge, edge);
            w = area;
            e.inner = content;
            break;
        }
        case CodeSplitter: {
            auto* splitter =
                new QSplitter(has(e, WG_Splitter_Vertical) ? Qt::Vertical : Qt::Horizontal, parent);
            splitter->setChildrenCollapsible(false);
            for (int i = 0; i < 2; ++i) {
                auto* pane = new QWidget;
                splitter->addWidget(pane);
                e.panes.push_back(pane);
            }
            e.layout.split.vertical = has(e, WG_Splitter_Vertical);
            e.layout.split.handle = splitter->handleWidth();
            w = splitter;
            e.inner = e.panes.front();
            break;
        }
        default:
            break;
    }
    if (w == nullptr) {
        return;
    }
    w->setGeometry(0, 0, 0, 0);
    e.widget = w;
    e.layout.hasGadget = true;
    e.layout.nudgeText =
        e.kind->code == CodeHyperLink || (e.kind->code == CodeText && !has(e, WG_Text_Border));
}

LayoutSize measureGadget(const DialogElement& e) {
    if (!e.widget) {
        return {};
    }
    if (e.kind->code == CodeButton) {
        // The caption in the button's own font, plus a 2-pixel 3-D edge on
        // each side and 10 pixels of air; never lower than 24.
        constexpr int edge = 2;
        const QFontMetrics metrics(e.widget->font());
        return {metrics.horizontalAdvance(qText(e)) + 2 * edge + 10,
                std::max(24, metrics.height() + 2 * edge)};
    }
    const QSize hint = e.widget->sizeHint();
    return {std::max(0, hint.width()), std::max(0, hint.height())};
}

void measureTree(DialogElement& e) {
    if (e.layout.kind == LayoutKind::MeasuredGadget) {
        e.layout.measured = measureGadget(e);
    }
    for (auto& child : e.children) {
        measureTree(*child);
    }
}

void applyPlacement(DialogElement& e) {
    // Tab pages belong to their panel, which positions them itself.
    if (e.widget && e.kind->code != CodeTab) {
        const LayoutRect& r = e.layout.rect;
        e.widget->setGeometry(r.x, r.y, std::max(0, r.width), std::max(0, r.height));
    }
    if (e.kind->code == CodeSplitter && e.widget) {
        static_cast<QSplitter*>(e.widget.data())
            ->setSizes({e.layout.split.firstSize, e.layout.split.secondSize});
    }
    if (e.kind->code == CodeScrollArea && e.inner) {
        e.inner->resize(std::max(0, e.layout.scroll.content.width),
                        std::max(0, e.layout.scroll.content.height));
    }
    for (auto& child : e.children) {
        applyPlacement(*child);
    }
}

void groupOptions(DialogElement& e) {
    std::map<int, QButtonGroup*> groups;
    for (auto& child : e.children) {
        if (child->kind->code != CodeOption || child->group == 0 || !child->widget) {
            continue;
        }
        QButtonGroup*& group = groups[child->group];
        if (group == nullptr) {
            group = new QButtonGroup(child->widget->parentWidget());
        }
        group->addButton(static_cast<QAbstractButton*>(child->widget.data()));
    }
}

}  // namespace corvane
