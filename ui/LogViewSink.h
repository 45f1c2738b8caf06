#pragma once

#include <QPointer>

#include "log/Log.h"

namespace corvane {

class LogViewWidget;

// Feeds log lines to the window's log view, keeping it short: before each
// append the oldest displayed lines go while the view holds more than
// MaxLinesBeforeTrim lines, so with one-line entries it settles at one line
// more than that. Trimming a single line per append would let the view grow
// without end once entries wrap into two lines or more (a narrow window), so
// the trim repeats until the count is back at the limit. Holds the view
// weakly: once the window is gone, lines go nowhere.
class LogViewSink final : public LogView {
public:
    static constexpr int MaxLinesBeforeTrim = 1280;

    explicit LogViewSink(LogViewWidget* view);
    void appendLine(std::u16string_view line) override;

private:
    QPointer<LogViewWidget> view_;
};

}  // namespace corvane
