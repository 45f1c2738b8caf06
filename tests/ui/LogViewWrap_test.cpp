// The wrapper answers most lines from cached advances, and long lines in a
// fixed-pitch font by arithmetic, without laying them out; those answers
// must be the ones Qt's own layout gives, at every width.
#include "ui/LogViewWrap.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QTextLayout>
#include <random>

#include "tests/ui/QtApp.h"
#include "ui/FixedPitchFont.h"
#include "ui/Font.h"

namespace corvane {
namespace {

// Where Qt's layout starts each line, in the wrapper's form: empty for one.
std::vector<int> laidOutStarts(const FontLineWrapper& wrapper, const QString& text) {
    QTextLayout layout(text, wrapper.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(wrapper.width());
    }
    layout.endLayout();
    std::vector<int> starts;
    for (int i = 0; layout.lineCount() > 1 && i < layout.lineCount(); ++i) {
        starts.push_back(layout.lineAt(i).textStart());
    }
    return starts;
}

// The font the program gives its window.
QFont programFont() {
    test::ensureQtApp();
    static const QFont font = *fontFromHandle(fontOpen(u"Consolas", 10));
    return font;
}

class FontLineWrapperTest : public testing::TestWithParam<int> {
protected:
    QApplication& app = test::ensureQtApp();
};

TEST_P(FontLineWrapperTest, QuickAnswersAgreeWithAFullLayoutAtEveryWidth) {
    const QFont fonts[] = {programFont(), QFontDatabase::systemFont(QFontDatabase::GeneralFont)};
    const QString lines[] = {
        QStringLiteral("12:00:01 | Q  [1A2B] www.example.com"),
        QStringLiteral("12:00:01 | A  [1A2B] 123 bytes"),
        QStringLiteral("WWWWWWWWWWWWWWWWWWWWiiiiiiiiiiiiiiiiiiii MMMMMMMMMM"),
        QStringLiteral("a-very-long-label-that-keeps-going.and-another.example.com"),
        QStringLiteral("ascii then caf\u00e9 and \u00fcber"),
        QStringLiteral("mixed \u4e2d\u6587 text"),
        QStringLiteral("tab\tinside"),
    };
    const int width = GetParam();
    for (const QFont& font : fonts) {
        FontLineWrapper wrapper;
        wrapper.setFont(font);
        wrapper.setWidth(width);
        for (const QString& line : lines) {
            EXPECT_EQ(wrapper.lineStarts(line), laidOutStarts(wrapper, line))
                << "width " << width << ", font " << font.family().toStdString() << ": "
                << line.toStdString();
        }
    }
}

// From narrower than one character to wider than every line, in steps that
// do not line up with any advance.
INSTANTIATE_TEST_SUITE_P(Widths, FontLineWrapperTest, testing::Range(1, 640, 13));

// A text of the log's alphabet, shaped by one of a few kinds of hostile or
// ordinary name: escapes without a break opportunity, runs of spaces, soft
// hyphens and no-break spaces, anything.
QString logAlphabetText(std::mt19937& random, int length) {
    static const char16_t Mixed[] =
        u" \u00a0\u00ad.-\\x01Q[]:|(){}\"'!?/"
        u",;_#%&WMij0123456789ab\u00ab\u00bb\u00e9\u00bf\u00a1+$";
    const auto pick = [&random](std::u16string_view from) { return from[random() % from.size()]; };
    const auto kind = random() % 4;
    QString text;
    for (int i = 0; i < length; ++i) {
        char16_t c = 0;
        if (kind == 0) {
            c = pick(Mixed);
        } else if (kind == 1) {
            c = static_cast<char16_t>(0x20 + random() % 95);
        } else if (kind == 2) {
            const auto r = static_cast<char16_t>(random() % 191);
            c = static_cast<char16_t>(r < 95 ? 0x20 + r : 0xA0 + (r - 95));
        } else {
            c = random() % 12 == 0 ? pick(Mixed) : u"\\x01"[i % 4];
        }
        text += QChar(c);
    }
    return text;
}

// The arithmetic against Qt's layout on the program's font at several sizes,
// where right bearings and widths in fractions of a pixel differ.
TEST(FixedPitchLineStarts, AgreeWithQtsLayoutOnTheLogsAlphabet) {
    test::ensureQtApp();
    std::mt19937 random(2027);
    for (int pixels : {12, 13, 17}) {
        QFont font = programFont();
        font.setPixelSize(pixels);
        ASSERT_TRUE(measureFixedPitch(font).has_value()) << font.family().toStdString();
        FontLineWrapper wrapper;
        wrapper.setFont(font);
        for (int i = 0; i < 250; ++i) {
            // Now and then longer than one of Qt's 4,096-character items.
            const int length = i % 25 == 0 ? 4000 + static_cast<int>(random() % 5000)
                                           : 1 + static_cast<int>(random() % 300);
            const QString text = logAlphabetText(random, length);
            wrapper.setWidth(1 + static_cast<int>(random() % (i % 3 == 0 ? 40 : 700)));
            ASSERT_EQ(wrapper.lineStarts(text), laidOutStarts(wrapper, text))
                << pixels << " px, width " << wrapper.width() << ", case " << i << ": "
                << text.left(200).toStdString();
        }
    }
}

TEST(FixedPitchLineStarts, AProportionalFontIsNotCountedByArithmetic) {
    test::ensureQtApp();
    QFont proportional = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    proportional.setPixelSize(13);
    EXPECT_FALSE(measureFixedPitch(proportional).has_value());
}

}  // namespace
}  // namespace corvane
