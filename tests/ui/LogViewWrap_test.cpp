// The wrapper answers most lines from cached advances without laying them
// out; those answers must be the ones a full layout gives, at every width.
#include "ui/LogViewWrap.h"

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QTextLayout>
#include <algorithm>

#include "tests/ui/QtApp.h"

namespace corvane {
namespace {

int laidOutLines(const FontLineWrapper& wrapper, const QString& text) {
    QTextLayout layout(text, wrapper.font());
    wrapper.layOut(layout, 0);
    return std::max(1, layout.lineCount());
}

class FontLineWrapperTest : public testing::TestWithParam<int> {
protected:
    QApplication& app = test::ensureQtApp();
};

TEST_P(FontLineWrapperTest, QuickAnswersAgreeWithAFullLayoutAtEveryWidth) {
    const QFont fonts[] = {QFontDatabase::systemFont(QFontDatabase::FixedFont),
                           QFontDatabase::systemFont(QFontDatabase::GeneralFont)};
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
            EXPECT_EQ(wrapper.lineCount(line), laidOutLines(wrapper, line))
                << "width " << width << ", font " << font.family().toStdString() << ": "
                << line.toStdString();
            EXPECT_EQ(wrapper.lineStarts(line).size(), wrapper.lineCount(line));
        }
    }
}

// From narrower than one character to wider than every line, in steps that
// do not line up with any advance.
INSTANTIATE_TEST_SUITE_P(Widths, FontLineWrapperTest, testing::Range(1, 640, 13));

}  // namespace
}  // namespace corvane
