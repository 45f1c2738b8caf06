#include "ui/Font.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <map>

namespace corvane {

namespace {

constexpr int FallbackDpi = 96;

// The fonts opened on the UI thread, by handle. They live until the process
// ends, as the program's fonts always have.
struct FontTable {
    std::map<int, QFont> fonts;
    int nextHandle = 1;
    std::optional<QFont> gadgetDefault;
};

FontTable& fontTable() {
    static FontTable table;
    return table;
}

// The face that stands in for a missing one: the platform's fixed font when
// it really is fixed-pitch (some platforms answer with a proportional one),
// else fontconfig's "monospace", else the first fixed-pitch family installed.
QFont monospaceStandIn() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (QFontInfo(font).fixedPitch()) {
        return font;
    }
    font = QFont(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    if (QFontInfo(font).fixedPitch()) {
        return font;
    }
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isFixedPitch(family)) {
            return QFont(family);
        }
    }
    return font;
}

}  // namespace

int fontPixelHeight(int points, int dpi) {
    return static_cast<int>(std::lround(static_cast<double>(points) * dpi / 72.0));
}

int displayDpiY() {
    static const int dpi = [] {
        if (qGuiApp == nullptr) {
            return FallbackDpi;
        }
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen == nullptr) {
            return FallbackDpi;
        }
        const int read = static_cast<int>(std::lround(screen->logicalDotsPerInchY()));
        return read > 0 ? read : FallbackDpi;
    }();
    return dpi;
}

int fontOpen(std::u16string_view face, int points) {
    if (qGuiApp == nullptr) {
        return 0;
    }
    const int pixels = fontPixelHeight(points, displayDpiY());
    if (pixels < 1) {
        return 0;
    }
    const QString family = QString::fromUtf16(face.data(), static_cast<qsizetype>(face.size()));
    QFont font;
    if (!family.isEmpty() && QFontDatabase::hasFamily(family)) {
        font = QFont(family);
    } else {
        font = monospaceStandIn();
    }
    font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);

    FontTable& table = fontTable();
    const int handle = table.nextHandle++;
    table.fonts.emplace(handle, font);
    return handle;
}

std::optional<QFont> fontFromHandle(int handle) {
    const FontTable& table = fontTable();
    auto it = table.fonts.find(handle);
    if (it == table.fonts.end()) {
        return std::nullopt;
    }
    return it->second;
}

void defaultFontSet(int handle) {
    FontTable& table = fontTable();
    if (handle == -1 || handle == 0) {
        table.gadgetDefault.reset();
        return;
    }
    if (auto font = fontFromHandle(handle)) {
        table.gadgetDefault = *font;
    }
}

void fontCloseAll() {
    FontTable& table = fontTable();
    table.fonts.clear();
    table.gadgetDefault.reset();
}

std::optional<QFont> currentDefaultGadgetFont() {
    return fontTable().gadgetDefault;
}

}  // namespace corvane
