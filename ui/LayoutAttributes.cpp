#include "ui/LayoutAttributes.h"

#include <limits>

#include "ui/DialogText.h"

namespace corvane {

void parseExpandMode(std::u16string_view value, ExpandMode& mode, int& item, bool acceptYes) {
    if (acceptYes && equalsIgnoringCase(value, u"yes")) {
        mode = ExpandMode::Yes;
    } else if (equalsIgnoringCase(value, u"no")) {
        mode = ExpandMode::No;
    } else if (equalsIgnoringCase(value, u"equal")) {
        mode = ExpandMode::Equal;
    } else if (startsWithIgnoringCase(value, u"item:")) {
        mode = ExpandMode::Item;
        // 'item:N' counts from 1; the index counts from 0.
        item = readNumber(value.substr(5));
        item = item == std::numeric_limits<int>::min() ? item : item - 1;
    }
}

void parseBoxAlign(std::u16string_view value, BoxAlign& align) {
    if (equalsIgnoringCase(value, u"center")) {
        align = BoxAlign::Center;
    } else if (equalsIgnoringCase(value, u"bottom") || equalsIgnoringCase(value, u"right")) {
        align = BoxAlign::End;
    }
}

void parseMargin(std::u16string_view value, OneChildFields& one) {
    if (value.find(u':') == std::u16string_view::npos) {
        const int all = readNumber(value);
        one.marginTop = one.marginBottom = one.marginLeft = one.marginRight = all;
        return;
    }
    one.marginTop = one.marginBottom = one.marginLeft = one.marginRight = 0;
    auto keyed = [value](std::u16string_view key, auto apply) {
        const std::size_t at = findIgnoringCase(value, key);
        if (at != std::u16string_view::npos) {
            apply(readNumber(value.substr(at + key.size())));
        }
    };
    keyed(u"top:", [&](int v) { one.marginTop = v; });
    keyed(u"bottom:", [&](int v) { one.marginBottom = v; });
    keyed(u"left:", [&](int v) { one.marginLeft = v; });
    keyed(u"right:", [&](int v) { one.marginRight = v; });
    keyed(u"vertical:", [&](int v) { one.marginTop = one.marginBottom = v; });
    keyed(u"horizontal:", [&](int v) { one.marginLeft = one.marginRight = v; });
}

void parseOneChildExpand(std::u16string_view value, OneChildFields& one) {
    if (equalsIgnoringCase(value, u"vertical")) {
        one.expandWidth = false;
        one.expandHeight = true;
    } else if (equalsIgnoringCase(value, u"horizontal")) {
        one.expandWidth = true;
        one.expandHeight = false;
    } else if (equalsIgnoringCase(value, u"no")) {
        one.expandWidth = false;
        one.expandHeight = false;
    }
}

void parseOneChildAlign(std::u16string_view value, OneChildFields& one) {
    auto has = [value](std::u16string_view word) {
        return findIgnoringCase(value, word) != std::u16string_view::npos;
    };
    if (has(u"top")) {
        one.vAlign = 1;
    }
    if (has(u"bottom")) {
        one.vAlign = 3;
    }
    if (has(u"left")) {
        one.hAlign = 1;
    }
    if (has(u"right")) {
        one.hAlign = 3;
    }
    const int rest = has(u"center") ? 2 : 1;
    if (one.hAlign == 0) {
        one.hAlign = rest;
    }
    if (one.vAlign == 0) {
        one.vAlign = rest;
    }
}

int parseSizeLimit(std::u16string_view value) {
    return equalsIgnoringCase(value, u"auto") ? SizeLimitAuto : readNumber(value);
}

int parseSplitterMinimum(std::u16string_view value) {
    if (equalsIgnoringCase(value, u"auto")) {
        return SplitterAuto;
    }
    if (equalsIgnoringCase(value, u"request")) {
        return SplitterRequest;
    }
    return readNumber(value);
}

}  // namespace corvane
