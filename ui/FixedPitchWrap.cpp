#include "ui/FixedPitchWrap.h"

#include <algorithm>
#include <optional>

namespace corvane {

namespace {

constexpr char16_t Space = u' ';
constexpr char16_t SoftHyphen = 0x00AD;

// Characters and widths gathered for one line: committed to the line, the
// word being tried, or the spaces between the two.
struct Run {
    std::int64_t width = 0;
    std::size_t length = 0;
};

// How one displayed line ended: where the next starts, and the width the
// layout reckoned for it, which decides whether a line filled at word
// boundaries is filled again breaking anywhere.
struct Fill {
    std::size_t next = 0;
    std::int64_t width = 0;
};

enum class Offer { Fits, LineEnds, Overflows };

// Fills one line the way Qt's text layout does (QTextLine::layout_helper):
// words go on while they fit; the spaces after a word hang at the line's end
// without counting; the ink of a glyph past its advance counts only near the
// edge; a soft hyphen is invisible except at the end of a line, where it
// shows as a hyphen. A line whose first word alone is wider than the line is
// filled again, breaking between any two characters.
class LineFiller {
public:
    LineFiller(std::u16string_view text, std::span<const std::uint8_t> breakBefore,
               const FixedPitchMetrics& metrics, std::int64_t width)
        : text_(text), breakBefore_(breakBefore), metrics_(metrics), width_(width) {}

    std::int64_t examined() const { return examined_; }

    std::size_t nextLineStart(std::size_t from) const {
        const std::optional<Fill> atWords = fill(from, false);
        // Breaking anywhere, a line always takes at least one character.
        const Fill line = atWords && atWords->width <= width_ ? *atWords : *fill(from, true);
        return line.next > from ? line.next : from + 1;
    }

private:
    struct State {
        Run line;
        Run word;
        Run spaces;
        std::int64_t pendingHyphen = 0;
        std::int64_t committedHyphen = 0;
        // The overhang of the glyph the line would end with, once looked at;
        // negative before.
        std::int64_t overhang = -1;
        bool lastWasSpace = true;
    };

    std::int64_t overhangOf(std::size_t at) const { return metrics_.overhang[text_[at] & 0xFF]; }
    bool isBreak(std::size_t at) const { return at >= text_.size() || breakBefore_[at] != 0; }

    static std::int64_t widthWithWord(const State& s) {
        return s.line.width + s.word.width + s.spaces.width +
               (s.line.width > 0 ? s.pendingHyphen : 0) + std::max<std::int64_t>(s.overhang, 0);
    }

    // Puts the word and the spaces before it on the line, unless the line
    // already holds something and they would not fit: then false.
    bool extend(State& s) const {
        if (s.line.length > 0 && widthWithWord(s) > width_) {
            return false;
        }
        const std::int64_t before = s.line.width;
        s.line.width += s.word.width + s.spaces.width;
        s.line.length += s.word.length + s.spaces.length;
        s.word = {};
        s.spaces = {};
        if (before != s.line.width || s.pendingHyphen > 0) {
            s.committedHyphen = s.pendingHyphen;
            s.pendingHyphen = 0;
        }
        return true;
    }

    // Scans one word (one character when breaking anywhere) from `pos` and
    // offers it to the line. A word that is wider than the room left on its
    // own is not scanned to its end: the line ends before it, or, when it
    // would be the line's first word, the line overflows and is filled again
    // breaking anywhere. Scanning on would make a long run without a break
    // opportunity cost the square of its length.
    Offer offerWord(State& s, std::size_t& pos, bool anywhere) const {
        s.lastWasSpace = false;
        // The glyph before the word: the line ends with it if the word fails.
        const std::optional<std::size_t> previous =
            pos > 0 ? std::optional<std::size_t>(pos - 1) : std::nullopt;
        bool tooWide = false;
        do {
            s.word.width += text_[pos] == SoftHyphen ? 0 : metrics_.advance;
            ++s.word.length;
            ++pos;
            ++examined_;
            tooWide = !anywhere && s.line.width + s.spaces.width + s.word.width > width_;
        } while (!anywhere && !tooWide && pos < text_.size() && text_[pos] != Space &&
                 !isBreak(pos));
        if (tooWide && s.line.length == 0) {
            return Offer::Overflows;
        }
        if (!tooWide) {
            if (text_[pos - 1] == SoftHyphen && isBreak(pos)) {
                s.pendingHyphen = metrics_.advance;
            }
            if (widthWithWord(s) + metrics_.largestOverhang > width_) {
                s.overhang = overhangOf(pos - 1);
            }
            if (extend(s)) {
                return Offer::Fits;
            }
        }
        if (previous) {
            s.overhang = overhangOf(*previous);
        }
        s.line.width += s.committedHyphen;
        return Offer::LineEnds;
    }

    // The line from `from`; nothing when, filled at word boundaries, its
    // first word alone is wider than the line.
    std::optional<Fill> fill(std::size_t from, bool anywhere) const {
        State s;
        std::size_t pos = from;
        bool ended = false;
        while (pos < text_.size() && !ended) {
            s.overhang = -1;
            if (text_[pos] != Space) {
                const Offer offer = offerWord(s, pos, anywhere);
                if (offer == Offer::Overflows) {
                    return std::nullopt;
                }
                ended = offer == Offer::LineEnds;
                continue;
            }
            s.lastWasSpace = true;
            while (pos < text_.size() && text_[pos] == Space) {
                s.spaces.width += metrics_.advance;
                ++s.spaces.length;
                ++pos;
                ++examined_;
            }
            if (s.spaces.width > width_) {
                // Spaces wider than the line end it, hanging past its edge.
                s.spaces.width = width_;
                ended = true;
            }
        }
        if (!ended) {
            extend(s);
            s.line.width += s.committedHyphen;
        }
        if (s.overhang < 0 && !s.lastWasSpace) {
            s.overhang = overhangOf(pos - 1);
        }
        s.line.width += std::max<std::int64_t>(s.overhang, 0);
        if (s.line.length == 0) {
            s.line.width += s.word.width;
            s.line.length += s.word.length;
        }
        return Fill{from + s.line.length + s.spaces.length, s.line.width};
    }

    std::u16string_view text_;
    std::span<const std::uint8_t> breakBefore_;
    const FixedPitchMetrics& metrics_;
    std::int64_t width_;
    mutable std::int64_t examined_ = 0;
};

}  // namespace

bool fixedPitchCovers(char16_t c) {
    return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF);
}

std::vector<int> fixedPitchLineStarts(std::u16string_view text,
                                      std::span<const std::uint8_t> breakBefore,
                                      const FixedPitchMetrics& metrics, std::int64_t width,
                                      std::int64_t* examined) {
    std::vector<int> starts;
    if (text.empty() || breakBefore.size() <= text.size()) {
        return starts;
    }
    const LineFiller filler(text, breakBefore, metrics, width);
    for (std::size_t next = filler.nextLineStart(0); next < text.size();
         next = filler.nextLineStart(next)) {
        if (starts.empty()) {
            starts.push_back(0);
        }
        starts.push_back(static_cast<int>(next));
    }
    if (examined != nullptr) {
        *examined += filler.examined();
    }
    return starts;
}

}  // namespace corvane
