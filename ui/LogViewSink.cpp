#include "ui/LogViewSink.h"

#include "ui/Tooltip.h"

namespace corvane {

namespace {

// Without the user database, users are shown by number.
class NoUserNames final : public UserNames {
public:
    std::u16string_view userName(std::uint32_t) override { return {}; }
};

}  // namespace

LogViewSink::LogViewSink(LogViewWidget* view, UserNames* users)
    : view_(view), users_(users), askers_(AskersKept) {
    if (view != nullptr) {
        view->setLineNotes(this);
    }
}

LogViewSink::~LogViewSink() {
    if (LogViewWidget* view = view_.data()) {
        view->setLineNotes(nullptr);
    }
}

void LogViewSink::appendLine(std::u16string_view line) {
    append(line, 0);
}

void LogViewSink::appendQueryLine(std::u16string_view line, const ClientKey& client,
                                  const Asker& asker) {
    if (view_.isNull()) {
        return;
    }
    append(line, askers_.add(client, asker));
}

void LogViewSink::askerSettled(const ClientKey& client, const Asker& asker) {
    askers_.settle(client, asker);
}

void LogViewSink::append(std::u16string_view line, std::uint64_t note) {
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
    view->setParagraphNote(view->model().paragraphCount() - 1, note);
    view->caretToEnd();
}

QString LogViewSink::noteText(std::uint64_t note) {
    const Asker* asker = askers_.asker(note);
    const ClientKey* client = askers_.client(note);
    if (asker == nullptr || client == nullptr) {
        return {};
    }
    NoUserNames noNames;
    UserNames& users = users_ != nullptr ? *users_ : noNames;
    return tooltipDisplayText(describeAsker(*asker, *client, users));
}

}  // namespace corvane
