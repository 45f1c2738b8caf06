#pragma once

#include <QFont>
#include <optional>

#include "ui/FixedPitchWrap.h"

namespace corvane {

// The metrics by which a font's lines can be counted arithmetically, or
// nothing when the font is not really fixed-pitch over every character the
// arithmetic covers. The font's own fixed-pitch flag is not taken on trust:
// every covered character must have the same advance, and a line of all of
// them laid out by Qt must place each one exactly there (no kerning, no
// ligature, no fallback face of another width).
std::optional<FixedPitchMetrics> measureFixedPitch(const QFont& font);

}  // namespace corvane
