#pragma once

#include <QFont>
#include <QList>
#include <QStringView>
#include <vector>

class QTextLayout;

namespace corvane {

// Decides how one paragraph of the log view breaks into displayed lines.
class LineWrapper {
public:
    virtual ~LineWrapper() = default;
    // Number of displayed lines of the paragraph; at least 1 (an empty
    // paragraph is one empty line).
    virtual int lineCount(QStringView paragraph) const = 0;
    // Offset of each displayed line's first character; starts with 0.
    virtual QList<int> lineStarts(QStringView paragraph) const = 0;
    // Unwrapped width in pixels, for the horizontal scroll range.
    virtual double naturalWidth(QStringView paragraph) const = 0;
};

// Wraps at word boundaries, or anywhere inside a word longer than the line,
// at a given pixel width in a given font, exactly as the view paints. Most
// log lines fit on one line; those are recognised from cached character
// advances without shaping the text, which keeps an append cheap.
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

    int lineCount(QStringView paragraph) const override;
    QList<int> lineStarts(QStringView paragraph) const override;
    double naturalWidth(QStringView paragraph) const override;

    // Lays the paragraph out into `layout` (whose text and font must be set)
    // with lines `lineSpacing` apart, as lineStarts would break it. The
    // layout's cache setting is left as it is.
    void layOut(QTextLayout& layout, double lineSpacing) const;

private:
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
};

}  // namespace corvane
