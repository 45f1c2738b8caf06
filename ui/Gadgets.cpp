#include "ui/Gadgets.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QSplitter>

#include <algorithm>
#include <map>

#include "ui/FlagTable.h"
#include "ui/Font.h"
#include "ui/GadgetFactory.h"

namespace corvane {

namespace {

MakeGadget findFactory(std::span<const GadgetFactory> factories, ElementCode code) {
    for (const GadgetFactory& factory : factories) {
        if (factory.code == code) {
            return factory.make;
        }
    }
    return nullptr;
}

QWidget* makeGadget(DialogElement& e, QWidget* parent) {
    if (MakeGadget make = findFactory(plainGadgetFactories(), e.kind->code)) {
        QWidget* w = make(e, parent);
        // A gadget that chose its font already (a link's underline) keeps it.
        if (w != nullptr && !w->testAttribute(Qt::WA_SetFont)) {
            applyDefaultFont(w);
        }
        return w;
    }
    if (MakeGadget make = findFactory(containerGadgetFactories(), e.kind->code)) {
        return make(e, parent);
    }
    return nullptr;  // boxes and empty have no gadget
}

}  // namespace

// Every gadget takes the default gadget font at its creation; gadgets made
// earlier keep theirs. Applied before any size is measured from the font.
void applyDefaultFont(QWidget* widget) {
    if (auto font = currentDefaultGadgetFont()) {
        widget->setFont(*font);
    }
}

QString elementText(const DialogElement& e) {
    return e.text ? QString::fromStdU16String(*e.text) : QString();
}

void createGadget(DialogElement& e, QWidget* parent) {
    QWidget* w = makeGadget(e, parent);
    if (w == nullptr) {
        return;
    }
    w->setGeometry(0, 0, 0, 0);
    e.widget = w;
    e.layout.hasGadget = true;
    e.layout.nudgeText =
        e.kind->code == CodeHyperLink || (e.kind->code == CodeText && !hasFlag(e, WG_Text_Border));
}

LayoutSize measureGadget(const DialogElement& e) {
    if (!e.widget) {
        return {};
    }
    if (e.kind->code == CodeButton) {
        // The caption in the button's own font, plus a 2-pixel 3-D edge on
        // each side and 10 pixels of air; never lower than 24.
        constexpr int Edge = 2;
        const QFontMetrics metrics(e.widget->font());
        return {metrics.horizontalAdvance(elementText(e)) + 2 * Edge + 10,
                std::max(24, metrics.height() + 2 * Edge)};
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
