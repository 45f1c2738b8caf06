#pragma once

#include <QPointer>

#include "log/Log.h"

namespace corvane {

class LogViewWidget;

// Feeds log lines to the window's log view, keeping it short: before each
// append the oldest displayed line goes when the view holds more than
// maxLinesBeforeTrim lines, so it settles at one line more than that. Holds
// the view weakly: once the window is gone, lines go nowhere.
class LogViewSink final : public LogView {
public:
    static constexpr int maxLinesBeforeTrim = 1280;

    explicit LogViewSink(LogViewWidget* view);
    void appendLine(std::u16string_view line) override;

private:
    QPointer<LogViewWidget> view_;
};

}  // namespace corvane
