// Feeds the log view the way the forwarder does at saturation and reports
// what it costs: the mean time of one appendLine, the time of one display
// frame, and the share of one core that the GUI work (appending plus the
// window's event polling, painting included) takes at that rate. Then the
// CPU time of one logged line, its frame included, with the view at its cap,
// for ordinary lines and for the long lines a hostile name gives. Runs on
// Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
//
//   logview_bench [--rate LINES_PER_SECOND] [--seconds S] [--longest CHARACTERS]
//
// --longest leaves out the long lines above that length (a build that lays
// out a long line in time quadratic in its length takes hours for the
// longest).

#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "log/LineText.h"
#include "ui/EventPoll.h"
#include "ui/Font.h"
#include "ui/LogViewSink.h"
#include "ui/LogViewWidget.h"
#include "ui/LoopDispatcher.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double processCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Lines shaped like the forwarder's: a query line and an answer line per
// query, now and then a long name that wraps in the view.
std::vector<std::u16string> makeLines(std::size_t count) {
    std::vector<std::u16string> lines;
    lines.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        char text[256];
        const unsigned id = static_cast<unsigned>(i / 2) & 0xFFFF;
        if (i % 2 == 0) {
            const char* name = (i % 100 == 0)
                                   ? "a-very-long-label-that-keeps-going.and-another-long-label-"
                                     "for-good-measure.cdn.example-of-a-wrapped-name.example.com"
                                   : "www.example.com";
            std::snprintf(text, sizeof text, "%02zu:%02zu:%02zu | Q  [%04X] %s", (i / 3600) % 24,
                          (i / 60) % 60, i % 60, id, name);
        } else {
            std::snprintf(text, sizeof text, "%02zu:%02zu:%02zu | A  [%04X] %zu bytes",
                          (i / 3600) % 24, (i / 60) % 60, i % 60, id, 40 + i % 200);
        }
        lines.emplace_back(text, text + std::strlen(text));
    }
    return lines;
}

struct Window {
    QWidget top;
    corvane::LogViewWidget* view;
    Window() {
        auto* layout = new QHBoxLayout(&top);
        view = new corvane::LogViewWidget;
        layout->addWidget(view);
        top.resize(600, 360);
        top.show();
    }
};

// Appends as fast as possible, without the event loop: the raw cost.
void rawAppend(const std::vector<std::u16string>& lines) {
    Window window;
    QCoreApplication::processEvents();
    corvane::LogViewSink sink(window.view);
    const auto start = Clock::now();
    for (const auto& line : lines) {
        sink.appendLine(line);
    }
    const double elapsed = seconds(Clock::now() - start);
    std::printf("raw appendLine (no event loop): %zu lines, %.3f us/line, view holds %d lines\n",
                lines.size(), elapsed * 1e6 / static_cast<double>(lines.size()),
                window.view->itemCount());
}

// One display frame with a full view: two new lines (a query's), the frame's
// scrolling, and painting the visible lines. A frame is what a datagram may
// find the loop busy with at a low rate.
void frameCost(const std::vector<std::u16string>& lines) {
    Window window;
    QCoreApplication::processEvents();
    corvane::LogViewSink sink(window.view);
    std::size_t next = 0;
    for (; next < 2000 && next < lines.size(); ++next) {
        sink.appendLine(lines[next]);
    }
    window.view->flushFrame();
    window.view->viewport()->repaint();
    constexpr int frames = 300;
    const auto start = Clock::now();
    for (int frame = 0; frame < frames; ++frame) {
        for (int i = 0; i < 2; ++i, ++next) {
            sink.appendLine(lines[next % lines.size()]);
        }
        window.view->flushFrame();
        window.view->viewport()->repaint();
    }
    const double elapsed = seconds(Clock::now() - start);
    std::printf("one frame (2 new lines, scroll, paint %d visible lines): %.1f us\n",
                window.view->visibleLineCount(), elapsed * 1e6 / frames);
}

// The forwarder's main loop at a fixed line rate: one eventPoll per turn,
// the lines that are due, a short pause when nothing was due.
void pacedRun(const std::vector<std::u16string>& lines, double rate, double duration) {
    Window window;
    while (corvane::eventPoll() != 0) {
    }
    corvane::LogViewSink sink(window.view);

    std::size_t sent = 0;
    double appendSeconds = 0;
    double pollSeconds = 0;
    std::size_t turns = 0;
    const double cpuStart = processCpuSeconds();
    const auto start = Clock::now();
    for (;;) {
        const auto turnStart = Clock::now();
        const double elapsed = seconds(turnStart - start);
        if (elapsed >= duration) {
            break;
        }
        ++turns;
        const int polled = corvane::eventPoll();
        const auto afterPoll = Clock::now();
        pollSeconds += seconds(afterPoll - turnStart);

        const auto due = std::min(lines.size(), static_cast<std::size_t>(elapsed * rate));
        if (sent < due) {
            const auto appendStart = Clock::now();
            for (; sent < due; ++sent) {
                sink.appendLine(lines[sent]);
            }
            appendSeconds += seconds(Clock::now() - appendStart);
        } else if (polled == 0) {
            // A saturated forwarder never idles long; this stands in for the
            // network work of a turn.
            timespec pause{0, 100000};
            nanosleep(&pause, nullptr);
        }
    }
    const double wall = seconds(Clock::now() - start);
    const double cpu = processCpuSeconds() - cpuStart;
    const double perLine =
        appendSeconds * 1e6 / static_cast<double>(std::max<std::size_t>(sent, 1));
    std::printf("paced run: %.0f lines/s for %.2f s, %zu lines, %zu turns\n", rate, wall, sent,
                turns);
    std::printf("  appendLine: %.3f us/line on average\n", perLine);
    std::printf("  eventPoll (painting included): %.3f s, %.1f%% of the wall time\n", pollSeconds,
                100.0 * pollSeconds / wall);
    std::printf("  GUI work (append + poll): %.1f%% of one core\n",
                100.0 * (appendSeconds + pollSeconds) / wall);
    std::printf("  process CPU (bench loop included): %.1f%% of one core\n", 100.0 * cpu / wall);
    std::printf("  view holds %d lines, newest visible: %s\n", window.view->itemCount(),
                window.view->firstVisibleLine() + window.view->visibleLineCount() >=
                        window.view->itemCount()
                    ? "yes"
                    : "no");
}

// The log line of a query for a name of `length` characters as logged: bytes
// 0x01 in labels of 63, each written as "\x01", the shape that once stalled
// the view. An ordinary line for a length of 0.
std::u16string queryLine(std::size_t length) {
    std::u16string line = u"12:00:00 | Q  [BEEF] : ";
    if (length == 0) {
        return line + u"www.example.com";
    }
    std::u16string raw;
    for (std::size_t logged = line.size(); logged < length; logged += raw.back() == u'.' ? 1 : 4) {
        raw += raw.size() % 64 == 63 ? u'.' : u'\x01';
    }
    corvane::appendOneLine(raw, line);
    line.resize(length);
    return line;
}

// CPU time of one logged line with the view at its cap (800 queries), the
// frame that shows it included: what a query with such a name costs the
// forwarder's one thread.
void longLineCost(std::size_t longest) {
    Window window;
    window.view->resize(600, 360);
    QCoreApplication::processEvents();
    corvane::LogViewSink sink(window.view);
    const std::u16string ordinary = queryLine(0);
    for (int i = 0; i < 1600; ++i) {
        sink.appendLine(ordinary);
    }
    std::printf("one logged line with the view at its cap, its frame included (CPU time):\n");
    for (std::size_t length :
         {std::size_t{0}, std::size_t{1000}, std::size_t{8000}, std::size_t{260000}}) {
        if (length > longest) {
            continue;
        }
        const std::u16string line = queryLine(length);
        const int count = length > 100000 ? 10 : 100;
        const double cpuStart = processCpuSeconds();
        for (int i = 0; i < count; ++i) {
            sink.appendLine(line);
            window.view->flushFrame();
            window.view->viewport()->repaint();
        }
        const double perLine = (processCpuSeconds() - cpuStart) / count;
        std::printf("  %7zu characters: %9.3f ms per line (%d lines)\n", line.size(), perLine * 1e3,
                    count);
        // Ordinary lines push the long ones out, as they would in the program.
        for (int i = 0; i < 1600; ++i) {
            sink.appendLine(ordinary);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    double rate = 50000;
    double duration = 5;
    double longest = 260000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--rate") == 0) {
            rate = std::atof(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            duration = std::atof(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--longest") == 0) {
            longest = std::atof(argv[i + 1]);
        }
    }
    // Bounded whatever the arguments say.
    rate = std::clamp(rate, 1.0, 1e6);
    duration = std::clamp(duration, 0.1, 60.0);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The event dispatcher the program chooses for itself.
    corvane::LoopDispatcher::install();
    QApplication app(argc, argv);
    corvane::defaultFontSet(corvane::fontOpen(u"Consolas", 10));

    const auto lines = makeLines(static_cast<std::size_t>(rate * duration) + 1);
    rawAppend(std::vector<std::u16string>(
        lines.begin(), lines.begin() + std::min<std::ptrdiff_t>(200000, std::ssize(lines))));
    frameCost(lines);
    pacedRun(lines, rate, duration);
    longLineCost(static_cast<std::size_t>(std::clamp(longest, 0.0, 1e6)));
    return 0;
}
