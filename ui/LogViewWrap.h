#pragma once

#include <QFont>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <vector>

#include "ui/FixedPitchWrap.h"

class QTextLayout;

namespace corvane {

// Decides how one paragraph of the log view breaks into displayed lines.
class LineWrapper {
public:
    virtual ~LineWrapper() = default;
    // Offset of each displayed line's first character, the first being 0;
    // empty when the paragraph is one line, as nearly every log line is (an
    // empty paragraph is one empty line).
    virtual std::vector<int> lineStarts(QStringView paragraph) const = 0;
    // Unwrapped width in pixels, for the horizontal scroll range.
    virtual double naturalWidth(QStringView paragraph) const = 0;
};

// Wraps at word boundaries, or anywhere inside a word longer than the line,
// at a given pixel width in a given font, exactly as Qt's text layout would.
// Most log lines fit on one line; those are recognised from cached character
// advances without shaping the text, which keeps an append cheap. Longer
// ones are counted by arithmetic when the font is fixed-pitch and the text is
// of the characters that arithmetic covers (all a log line holds), in time
// linear in their length; anything else is laid out by Qt.
class FontLineWrapper final : public LineWrapper {
public:
    FontLineWrapper();

    void setFont(const QFont& font);
    const QFont& font() const { return font_; }
    // Width available to a line; below 1 it is taken as 1.
    void setWidth(int pixels);
    int width() const { return width_; }
    void setWrapping(bool on) { wrapping_ = on; }
    bool wrapping() const { return wrapping_; }

    std::vector<int> lineStarts(QStringView paragraph) const override;
    double naturalWidth(QStringView paragraph) const override;

    // Lays `layout` (whose text and font must be set) out as one line,
    // unbroken: the view paints each displayed line on its own. The layout's
    // cache setting is left as it is.
    void layOutLine(QTextLayout& layout) const;

    // Characters this wrapper has broken into lines or laid out, over its
    // life: each long line once when it comes, and what the view paints. It
    // lets tests hold the cost of the log view to what it shows.
    std::int64_t charactersLaidOut() const { return charactersLaidOut_; }

private:
    // The font's metrics for the arithmetic, measured at the first line that
    // needs them; nullptr when the font is not fixed-pitch.
    const FixedPitchMetrics* fixedPitch() const;
    std::vector<int> fixedPitchStarts(QStringView paragraph,
                                      const FixedPitchMetrics& metrics) const;
    std::vector<int> measuredStarts(QStringView paragraph) const;
    // Sum of the cached advances, or a negative value when the text holds a
    // character the quick path does not measure.
    double quickWidth(QStringView text) const;
    bool surelyFits(QStringView text) const;
    // The widest advance among the printable ASCII characters, measured once
    // per font.
    double widestAscii() const;

    QFont font_;
    int width_ = 1;
    bool wrapping_ = true;
    mutable std::vector<float> advances_;
    mutable double widestAscii_ = -1;
    // Not yet measured; or measured, holding the metrics when the font is
    // fixed-pitch.
    mutable std::optional<std::optional<FixedPitchMetrics>> fixedPitch_;
    // Where a line may break, for the arithmetic; kept to spare an allocation
    // per long line.
    mutable std::vector<std::uint8_t> breakBefore_;
    mutable std::int64_t charactersLaidOut_ = 0;
};

}  // namespace corvane
