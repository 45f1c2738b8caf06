#include "ui/ElementReader.h"

#include <algorithm>

#include "ui/DialogText.h"
#include "ui/FlagTable.h"
#include "ui/OwnAttributes.h"
#include "ui/RuntimeTable.h"

namespace corvane {

namespace {

bool is(std::u16string_view name, std::u16string_view key) {
    return equalsIgnoringCase(name, key);
}

// WIDTH, HEIGHT: a runtime constant, else the number the text reads as.
int constantOrNumber(std::u16string_view value) {
    if (const auto constant = runtimeConstant(value)) {
        return *constant;
    }
    return readNumber(value);
}

void readId(ElementDescription& e, std::u16string_view value, BuildError& error) {
    if (is(value, u"#WG_Any")) {
        e.id = -1;
    } else if (!value.empty() && value.front() == u'#') {
        if (const auto constant = runtimeConstant(value.substr(1))) {
            e.id = *constant;
        } else {
            recordBuildError(error, "'%s' constant is not found or not declared as runtime%s.",
                             toUtf8(value).c_str(), "");
        }
    } else {
        e.id = constantOrNumber(value);
    }
}

void readFlags(ElementDescription& e, std::u16string_view value, BuildError& error) {
    const FlagListResult r = resolveFlagList(value, e.kind->run);
    e.flags |= r.flags;
    if (r.unsupported) {
        recordBuildError(error, "'#%s' flag is not supported for the following gadget: %s",
                         toUtf8(*r.unsupported).c_str(), toUtf8(e.tag).c_str());
    }
}

void readEvent(const ElementDescription& e, const EventAttribute& event,
               const XmlAttribute& attribute, BuildError& error) {
    if ((e.kind->events & EventsRead) == 0) {
        return;
    }
    if ((e.kind->events & event.mask) == 0) {
        recordBuildError(error, "'%s' is not supported for the following gadget: %s",
                         toUtf8(attribute.name).c_str(), toUtf8(e.tag).c_str());
        return;
    }
    // Binding would hand the procedure gadget events of event.type; the
    // runtime table of this program holds no procedure to bind.
    if (!isRuntimeProcedure(attribute.value)) {
        recordBuildError(error, "'%s' is not a runtime procedure.",
                         toUtf8(attribute.value).c_str());
    }
}

// The attributes every element reads. COLSPAN and ROWSPAN only matter to a
// grid box parent, which finds them in the layout node.
void readCommon(ElementDescription& e, const XmlAttribute& a, BuildError& error) {
    const std::u16string_view n = a.name;
    if (is(n, u"ID")) {
        readId(e, a.value, error);
    } else if (is(n, u"NAME")) {
        e.name = a.value;
    } else if (is(n, u"TEXT")) {
        e.text = a.value;
    } else if (is(n, u"WIDTH")) {
        e.layout.width = constantOrNumber(a.value);
    } else if (is(n, u"HEIGHT")) {
        e.layout.height = constantOrNumber(a.value);
    } else if (is(n, u"FOLDED")) {
        e.layout.folded = is(a.value, u"yes");
    } else if (is(n, u"FLAGS")) {
        readFlags(e, a.value, error);
    } else if (is(n, u"DISABLED")) {
        e.disabled = is(a.value, u"yes");
    } else if (is(n, u"INVISIBLE")) {
        e.invisible = is(a.value, u"yes");
    } else if (is(n, u"COLSPAN")) {
        e.layout.columnSpan = std::max(1, readNumber(a.value));
    } else if (is(n, u"ROWSPAN")) {
        e.layout.rowSpan = std::max(1, readNumber(a.value));
    } else if (const EventAttribute* event = findEventAttribute(n)) {
        readEvent(e, *event, a, error);
    }
}

}  // namespace

ElementDescription describeElement(const XmlNode& node, const ElementKind& kind,
                                   BuildError& error) {
    ElementDescription e;
    e.kind = &kind;
    e.tag = node.name;
    e.layout.kind = kind.layout;
    OneChildFields& one = e.layout.one;
    one.marginTop = one.marginBottom = one.marginLeft = one.marginRight = kind.margin;
    if (kind.code == CodeTrackBar) {
        e.maximum = 10;
    }
    for (const XmlAttribute& a : node.attributes) {
        readCommon(e, a, error);
    }
    for (const XmlAttribute& a : node.attributes) {
        readOwnAttribute(e, a);
    }
    return e;
}

}  // namespace corvane
