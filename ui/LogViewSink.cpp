#include "ui/LogViewSink.h"

#include "ui/LogViewWidget.h"

namespace corvane {

LogViewSink::LogViewSink(LogViewWidget* view) : view_(view) {}

void LogViewSink::appendLine(std::u16string_view line) {
    LogViewWidget* view = view_.data();
    if (view == nullptr) {
        return;
    }
    for (int count = view->itemCount(); count > MaxLinesBeforeTrim;) {
        view->itemRemove(0);
        const int after = view->itemCount();
        if (after >= count) {
            break;  // nothing left to take from the front
        }
        count = after;
    }
    view->itemAdd(-1, QStringView(line.data(), static_cast<qsizetype>(line.size())));
    view->caretToEnd();
}

}  // namespace corvane
