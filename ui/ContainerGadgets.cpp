// The factories of the gadget containers: each makes the widget that holds
// its children's gadgets and tells the layout how much frame to leave.
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>

#include "ui/FlagTable.h"
#include "ui/GadgetFactory.h"

namespace corvane {

namespace {

using E = DialogElement;

void setFrame(LayoutNode& node, int left, int top, int right, int bottom) {
    node.one.frameLeft = left;
    node.one.frameTop = top;
    node.one.frameWidth = left + right;
    node.one.frameHeight = top + bottom;
}

QFrame* borderedFrame(QWidget* parent, bool border) {
    auto* frame = new QFrame(parent);
    if (border) {
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
    }
    return frame;
}

QWidget* makeContainer(E& e, QWidget* parent) {
    const LayoutSize border = containerBorder(e.flags);
    auto* frame = borderedFrame(parent, border.width > 0);
    if (hasFlag(e, WG_Container_Raised)) {
        frame->setFrameStyle(QFrame::Panel | QFrame::Raised);
    } else if (hasFlag(e, WG_Container_Single) || hasFlag(e, WG_Container_Double)) {
        frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    }
    frame->setLineWidth(1);
    setFrame(e.layout, border.width / 2, border.height / 2, border.width / 2, border.height / 2);
    e.inner = frame;
    return frame;
}

// A drawing area; with the container flag it also holds one child.
QWidget* makeCanvas(E& e, QWidget* parent) {
    const bool border = hasFlag(e, WG_Canvas_Border);
    auto* frame = borderedFrame(parent, border);
    frame->setFocusPolicy(hasFlag(e, WG_Canvas_Keyboard) ? Qt::StrongFocus : Qt::NoFocus);
    if (hasFlag(e, WG_Canvas_Container)) {
        e.layout.kind = LayoutKind::Container;
        const int edge = border ? 1 : 0;
        setFrame(e.layout, edge, edge, edge, edge);
        e.inner = frame;
    }
    return frame;
}

QWidget* makeFrame(E& e, QWidget* parent) {
    auto* box = new QGroupBox(elementText(e), parent);
    applyDefaultFont(box);
    box->setFlat(hasFlag(e, WG_Frame_Flat));
    // The caption sits on the top edge; the rest is a thin frame.
    const int edge = hasFlag(e, WG_Frame_Double) ? 2 : 1;
    setFrame(e.layout, edge, QFontMetrics(box->font()).height() + edge, edge, edge);
    e.inner = box;
    return box;
}

QWidget* makePanel(E& e, QWidget* parent) {
    auto* tabs = new QTabWidget(parent);
    applyDefaultFont(tabs);
    const int edge = tabs->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    setFrame(e.layout, edge, tabs->tabBar()->sizeHint().height() + edge, edge, edge);
    e.inner = tabs;
    return tabs;
}

// A page of the enclosing panel, which positions it; anywhere else a plain
// page. Either way it is no gadget of its own.
QWidget* makeTab(E& e, QWidget* parent) {
    auto* page = new QWidget(parent);
    if (auto* tabs = qobject_cast<QTabWidget*>(parent)) {
        tabs->addTab(page, elementText(e));
    } else {
        page->setGeometry(0, 0, 0, 0);
    }
    e.inner = page;
    return nullptr;
}

QWidget* makeScrollArea(E& e, QWidget* parent) {
    auto* area = new QScrollArea(parent);
    area->setWidgetResizable(false);
    if (hasFlag(e, WG_ScrollArea_BorderLess)) {
        area->setFrameShape(QFrame::NoFrame);
    }
    auto* content = new QWidget;
    area->setWidget(content);
    area->horizontalScrollBar()->setSingleStep(e.step);
    area->verticalScrollBar()->setSingleStep(e.step);
    const int edge = area->frameWidth();
    setFrame(e.layout, edge, edge, edge, edge);
    e.inner = content;
    return area;
}

QWidget* makeSplitter(E& e, QWidget* parent) {
    const bool vertical = hasFlag(e, WG_Splitter_Vertical);
    auto* splitter = new QSplitter(vertical ? Qt::Vertical : Qt::Horizontal, parent);
    splitter->setChildrenCollapsible(false);
    for (int i = 0; i < 2; ++i) {
        auto* pane = new QWidget;
        splitter->addWidget(pane);
        e.panes.push_back(pane);
    }
    e.layout.split.vertical = vertical;
    e.layout.split.handle = splitter->handleWidth();
    e.inner = e.panes.front();
    return splitter;
}

constexpr GadgetFactory Factories[] = {
    {CodeContainer, makeContainer}, {CodeCanvas, makeCanvas}, {CodeFrame, makeFrame},
    {CodePanel, makePanel},         {CodeTab, makeTab},       {CodeScrollArea, makeScrollArea},
    {CodeSplitter, makeSplitter},
};

}  // namespace

std::span<const GadgetFactory> containerGadgetFactories() {
    return Factories;
}

}  // namespace corvane
