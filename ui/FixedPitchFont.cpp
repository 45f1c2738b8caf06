#include "ui/FixedPitchFont.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

constexpr char16_t SoftHyphen = 0x00AD;
constexpr char16_t HyphenMinus = u'-';

// Qt's layout adds widths in 1/64 of a pixel; its metrics report them as
// reals that hold such a value exactly.
std::int32_t inLayoutUnits(qreal pixels) {
    return static_cast<std::int32_t>(
        std::lround(pixels * static_cast<qreal>(FixedPitchUnitsPerPixel)));
}

// Every covered character but the soft hyphen, which the layout never shows
// inside a line.
QString coveredCharacters() {
    QString all;
    for (char16_t c = 0; c < 0x100; ++c) {
        if (fixedPitchCovers(c) && c != SoftHyphen) {
            all += QChar(c);
        }
    }
    return all;
}

// Laid out by Qt in one line, every character starts where the arithmetic
// puts it.
bool layoutAgrees(const QFont& font, const QString& probe, std::int32_t advance) {
    QTextLayout layout(probe, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid() || line.textLength() != probe.size()) {
        return false;
    }
    for (int i = 0; i <= probe.size(); ++i) {
        if (inLayoutUnits(line.cursorToX(i)) != static_cast<std::int64_t>(i) * advance) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<FixedPitchMetrics> measureFixedPitch(const QFont& font) {
    const QFontMetricsF metrics(font);
    FixedPitchMetrics measured;
    measured.advance = inLayoutUnits(metrics.horizontalAdvance(QChar(HyphenMinus)));
    if (measured.advance <= 0) {
        return std::nullopt;
    }
    const QString probe = coveredCharacters();
    for (QChar c : probe) {
        if (inLayoutUnits(metrics.horizontalAdvance(c)) != measured.advance) {
            return std::nullopt;
        }
        measured.overhang[c.unicode()] = std::max(0, -inLayoutUnits(metrics.rightBearing(c)));
    }
    // At a line's end the soft hyphen is drawn with the hyphen's glyph.
    measured.overhang[SoftHyphen] = measured.overhang[HyphenMinus];
    measured.largestOverhang = std::max(0, -inLayoutUnits(metrics.minRightBearing()));
    if (!layoutAgrees(font, probe, measured.advance)) {
        return std::nullopt;
    }
    return measured;
}

}  // namespace corvane
