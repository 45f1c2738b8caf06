// A hostile name on its road into the window's log view: the name's bytes as
// the log writes them (control characters and the backslash as "\xHH"), in a
// query's log line, through the sink into a view kept at its cap, on Qt's
// offscreen platform in the program's font.
//
// Input: two bytes for a width (1 to 800 pixels), one for a font size (8 to
// 24 pixels), then the name's bytes.
//
// Checks: the line breaks where Qt's own layout breaks it, in the view and
// at the input's width and font size (for lines short enough for that
// layout, whose cost is quadratic in a run without a break opportunity);
// the view's line starts rise from 0 within the line; the view holds at most
// its cap of older lines besides it; the line was laid out once at most, and
// the frame after it laid out no more than the lines in view. The view keeps
// its width and font, so that an input does not break all its lines anew.

#include <QApplication>
#include <QTextLayout>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "log/LineText.h"
#include "ui/Font.h"
#include "ui/LogViewSink.h"
#include "ui/LogViewWidget.h"

namespace corvane::fuzz {
namespace {

// Qt's layout of a line this long costs milliseconds at worst.
constexpr qsizetype LongestComparedWithQt = 3000;

struct Scene {
    QFont font = *fontFromHandle(fontOpen(u"Consolas", 10));
    LogViewWidget view;
    LogViewSink sink{&view};
    // A wrapper for each font size an input can pick, each measuring its
    // font once.
    std::vector<FontLineWrapper> wrappers = std::vector<FontLineWrapper>(17);
};

Scene& scene() {
    static Scene* made = [] {
        auto* s = new Scene;
        s->view.setFont(s->font);
        s->view.resize(600, 360);
        s->view.show();
        for (int i = 0; i <= LogViewSink::MaxLinesBeforeTrim; ++i) {
            s->sink.appendLine(u"12:00:00 | A  [BEEF] = 46b");
        }
        for (std::size_t i = 0; i < s->wrappers.size(); ++i) {
            QFont font = s->font;
            font.setPixelSize(8 + static_cast<int>(i));
            s->wrappers[i].setFont(font);
        }
        return s;
    }();
    return *made;
}

std::vector<int> qtLineStarts(const FontLineWrapper& wrapper, QStringView text) {
    QTextLayout layout(text.toString(), wrapper.font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(wrapper.width());
    }
    layout.endLayout();
    std::vector<int> starts;
    for (int i = 0; i < layout.lineCount(); ++i) {
        starts.push_back(layout.lineAt(i).textStart());
    }
    return starts;
}

// The line starts the view keeps for its newest paragraph.
std::vector<int> viewLineStarts(const LogViewModel& model) {
    const int last = model.paragraphCount() - 1;
    std::vector<int> starts;
    for (int i = 0; i < model.paragraphLines(last); ++i) {
        const int line = model.paragraphFirstLine(last) + i;
        starts.push_back(static_cast<int>(model.lineStart(line) - model.paragraphStart(last)));
    }
    return starts;
}

qint64 charactersInView(const LogViewWidget& view) {
    const LogViewModel& model = view.model();
    qint64 characters = 0;
    const int end =
        std::min(model.lineCount(), view.firstVisibleLine() + view.visibleLineCount() + 1);
    for (int line = view.firstVisibleLine(); line < end; ++line) {
        characters += model.lineText(line).size();
    }
    return characters;
}

void checkAgainstQt(const FontLineWrapper& wrapper, QStringView text, const char* where) {
    if (text.size() > LongestComparedWithQt) {
        return;
    }
    std::vector<int> starts = wrapper.lineStarts(text);
    if (starts.empty()) {
        starts.push_back(0);
    }
    FUZZ_CHECK(starts == qtLineStarts(wrapper, text), where);
}

void appendName(const std::uint8_t* data, std::size_t size) {
    Scene& s = scene();
    std::u16string name;
    for (std::size_t i = 3; i < size; ++i) {
        name.push_back(data[i]);
    }
    std::u16string line = u"12:00:00 | Q  [BEEF] : ";
    appendOneLine(name, line);
    const QStringView text(line.data(), static_cast<qsizetype>(line.size()));

    FontLineWrapper& wrapper = s.wrappers[data[2] % s.wrappers.size()];
    wrapper.setWidth(1 + ((data[0] << 8 | data[1]) % 800));
    checkAgainstQt(wrapper, text, "a break elsewhere than Qt's layout makes");

    const std::int64_t before = s.view.wrapper().charactersLaidOut();
    s.sink.appendLine(line);
    FUZZ_CHECK(s.view.wrapper().charactersLaidOut() - before <= text.size(),
               "the new line laid out more than once");

    const LogViewModel& model = s.view.model();
    const int last = model.paragraphCount() - 1;
    FUZZ_CHECK(model.paragraphText(last) == text, "the view holds the line as the log wrote it");
    FUZZ_CHECK(model.itemCount() <= LogViewSink::MaxLinesBeforeTrim + model.paragraphLines(last),
               "more than the cap of older lines besides the new one");
    const std::vector<int> starts = viewLineStarts(model);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        FUZZ_CHECK(i == 0 ? starts[i] == 0 : starts[i] > starts[i - 1] && starts[i] < text.size(),
                   "line starts that do not rise within the line");
    }
    if (text.size() <= LongestComparedWithQt) {
        FUZZ_CHECK(starts == qtLineStarts(s.view.wrapper(), text),
                   "the view breaks the line elsewhere than Qt's layout");
    }

    s.view.flushFrame();
    const std::int64_t allowed = charactersInView(s.view);
    const std::int64_t beforePaint = s.view.wrapper().charactersLaidOut();
    s.view.viewport()->repaint();
    FUZZ_CHECK(s.view.wrapper().charactersLaidOut() - beforePaint <= allowed,
               "the frame laid out more than the lines in view");
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The one application object of the process; it outlives every input.
    static QApplication* app = new QApplication(*argc, *argv);
    (void)app;
    corvane::fuzz::scene();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= 3) {
        corvane::fuzz::appendName(data, size);
    }
    return 0;
}
