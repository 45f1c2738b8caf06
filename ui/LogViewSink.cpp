#include "ui/LogViewSink.h"

#include "ui/LogViewWidget.h"

namespace corvane {

LogViewSink::LogViewSink(LogViewWidget* view) : view_(view) {}

void LogViewSink::appendLine(std::u16string_view line) {
    LogViewWidget* view = view_.data();
    if (view == nullptr) {
        return;
    }
    if (view->itemCount() > maxLinesBeforeTrim) {
        view->itemRemove(0);
    }
    view->itemAdd(-1, QStringView(line.data(), static_cast<qsizetype>(line.size())));
    view->caretToEnd();
}

}  // namespace corvane
