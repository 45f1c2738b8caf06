#pragma once

#include <QFont>
#include <optional>
#include <string_view>

namespace corvane {

// Character height in pixels of a font of `points` at `dpi` dots per inch,
// rounded to the nearest pixel (halves away from zero).
int fontPixelHeight(int points, int dpi);

// The display's vertical dots per inch, read once from the primary screen;
// 96 when there is no screen to ask.
int displayDpiY();

// Opens a font of the given face and size: pixel height from the display's
// dots per inch, normal weight, no italic, underline or strike-out. When the
// face is not installed, the closest monospace face stands in. Returns a
// handle (> 0), or 0 when no font can be made (no GUI application, size < 1).
int fontOpen(std::u16string_view face, int points);

// The font behind a handle; nullopt for an invalid handle.
std::optional<QFont> fontFromHandle(int handle);

// Makes the font `handle` the one given to every gadget created afterwards;
// -1 goes back to the platform's default GUI font and 0 (a failed fontOpen)
// leaves gadgets with the system font. Other invalid handles change nothing.
// Gadgets created earlier keep their font.
void defaultFontSet(int handle);

// Forgets every font handle and the default gadget font; for the end of the
// program, while the application still exists.
void fontCloseAll();

// The font to give a gadget being created now; nullopt: leave Qt's default.
std::optional<QFont> currentDefaultGadgetFont();

}  // namespace corvane
