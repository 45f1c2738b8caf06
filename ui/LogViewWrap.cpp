#include "ui/LogViewWrap.h"

#include <QFontMetricsF>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>

#include "ui/FixedPitchFont.h"

namespace corvane {

namespace {

// Characters below this are measured one by one from the cache; the ranges
// above start with combining marks, which change the width of their base.
constexpr char16_t QuickLimit = 0x0300;

bool quickMeasurable(char16_t c) {
    return c < QuickLimit && c >= 0x20 && !(c >= 0x7F && c <= 0x9F);
}

constexpr char16_t FirstPrintableAscii = 0x20;
constexpr char16_t PastPrintableAscii = 0x7F;

// Written without an early exit so that the compiler can check many
// characters at once: log lines are nearly always plain ASCII.
bool allPrintableAscii(QStringView text) {
    bool all = true;
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        all &= (c >= FirstPrintableAscii) & (c < PastPrintableAscii);
    }
    return all;
}

QTextOption wrapOption(bool wrapping) {
    QTextOption option;
    option.setWrapMode(wrapping ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    return option;
}

// Lines that do not wrap still need a width to be laid out at all.
constexpr double UnwrappedWidth = 1.0e7;

// Lays out all of `layout` in lines of `width` pixels.
void layOutLines(QTextLayout& layout, bool wrapping, int width) {
    layout.setTextOption(wrapOption(wrapping));
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            break;
        }
        line.setLineWidth(wrapping ? width : UnwrappedWidth);
    }
    layout.endLayout();
}

bool allCovered(QStringView text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return fixedPitchCovers(c.unicode()); });
}

}  // namespace

FontLineWrapper::FontLineWrapper() : advances_(QuickLimit, -1.0f) {}

void FontLineWrapper::setFont(const QFont& font) {
    font_ = font;
    std::fill(advances_.begin(), advances_.end(), -1.0f);
    widestAscii_ = -1;
    fixedPitch_.reset();
}

void FontLineWrapper::setWidth(int pixels) {
    width_ = pixels < 1 ? 1 : pixels;
}

double FontLineWrapper::quickWidth(QStringView text) const {
    double sum = 0;
    const QFontMetricsF* metrics = nullptr;
    std::optional<QFontMetricsF> made;
    for (QChar qc : text) {
        const char16_t c = qc.unicode();
        if (!quickMeasurable(c)) {
            return -1;
        }
        float& advance = advances_[c];
        if (advance < 0) {
            if (metrics == nullptr) {
                made.emplace(font_);
                metrics = &*made;
            }
            advance = static_cast<float>(metrics->horizontalAdvance(qc));
        }
        sum += advance;
    }
    return sum;
}

double FontLineWrapper::widestAscii() const {
    if (widestAscii_ < 0) {
        QString all;
        for (char16_t c = FirstPrintableAscii; c < PastPrintableAscii; ++c) {
            all += QChar(c);
        }
        // Fills the cache of advances for these characters as a side effect.
        quickWidth(all);
        widestAscii_ = *std::max_element(advances_.begin() + FirstPrintableAscii,
                                         advances_.begin() + PastPrintableAscii);
    }
    return widestAscii_;
}

bool FontLineWrapper::surelyFits(QStringView text) const {
    // The margin covers sub-pixel rounding and kerning of proportional faces;
    // a line near the edge takes the exact path instead.
    const auto fits = [this](double width) { return width * 1.01 + 2.0 <= width_; };
    // A short ASCII line fits if as many of its widest character would: that
    // answers most lines without adding up their advances. Whenever this says
    // yes, the sum below would have said yes too.
    if (fits(static_cast<double>(text.size()) * widestAscii()) && allPrintableAscii(text)) {
        return true;
    }
    const double sum = quickWidth(text);
    return sum >= 0 && fits(sum);
}

std::vector<int> FontLineWrapper::lineStarts(QStringView paragraph) const {
    if (!wrapping_ || paragraph.isEmpty() || surelyFits(paragraph)) {
        return {};
    }
    charactersLaidOut_ += paragraph.size();
    const FixedPitchMetrics* metrics = fixedPitch();
    if (metrics != nullptr && allCovered(paragraph)) {
        return fixedPitchStarts(paragraph, *metrics);
    }
    return measuredStarts(paragraph);
}

const FixedPitchMetrics* FontLineWrapper::fixedPitch() const {
    if (!fixedPitch_) {
        fixedPitch_ = measureFixedPitch(font_);
    }
    const std::optional<FixedPitchMetrics>& measured = *fixedPitch_;
    return measured ? &*measured : nullptr;
}

std::vector<int> FontLineWrapper::fixedPitchStarts(QStringView paragraph,
                                                   const FixedPitchMetrics& metrics) const {
    const auto size = static_cast<std::size_t>(paragraph.size());
    breakBefore_.assign(size + 1, 0);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, paragraph);
    for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
        breakBefore_[static_cast<std::size_t>(at)] = 1;
    }
    const std::u16string_view text(reinterpret_cast<const char16_t*>(paragraph.utf16()), size);
    return fixedPitchLineStarts(text, breakBefore_, metrics,
                                static_cast<std::int64_t>(width_) * FixedPitchUnitsPerPixel);
}

std::vector<int> FontLineWrapper::measuredStarts(QStringView paragraph) const {
    QTextLayout layout(paragraph.toString(), font_);
    layOutLines(layout, wrapping_, width_);
    std::vector<int> starts;
    if (layout.lineCount() > 1) {
        starts.reserve(static_cast<std::size_t>(layout.lineCount()));
        for (int i = 0; i < layout.lineCount(); ++i) {
            starts.push_back(layout.lineAt(i).textStart());
        }
    }
    return starts;
}

double FontLineWrapper::naturalWidth(QStringView paragraph) const {
    const double quick = quickWidth(paragraph);
    if (quick >= 0) {
        return quick;
    }
    return QFontMetricsF(font_).horizontalAdvance(paragraph.toString());
}

void FontLineWrapper::layOutLine(QTextLayout& layout) const {
    charactersLaidOut_ += layout.text().size();
    layOutLines(layout, false, width_);
}

}  // namespace corvane
