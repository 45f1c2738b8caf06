#pragma once

#include <QPointer>
#include <QString>
#include <cstdint>

#include "attribution/AskerDescription.h"
#include "log/Log.h"
#include "ui/LineAskers.h"
#include "ui/LogViewWidget.h"

namespace corvane {

// Feeds log lines to the window's log view, keeping it short: before each
// append the oldest displayed lines go while the view holds more than
// MaxLinesBeforeTrim lines, so with one-line entries it settles at one line
// more than that. Trimming a single line per append would let the view grow
// without end once entries wrap into two lines or more (a narrow window), so
// the trim repeats until the count is back at the limit. Holds the view
// weakly: once the window is gone, lines go nowhere.
//
// A line about a query comes with who asked it: kept beside the line (by
// LineAskers, under the note of its paragraph) and completed when its
// lookup settles, it is described (describeAsker) only when the pointer
// rests on the line, since naming a user may wait for the user database.
class LogViewSink final : public LogView, private LineNotes {
public:
    static constexpr int MaxLinesBeforeTrim = 1280;
    // More askers are kept than lines shown, so every line shown has its own.
    static constexpr std::size_t AskersKept = 2 * MaxLinesBeforeTrim;

    // users names the users in descriptions; without, they are shown by uid.
    // users must outlive the sink.
    explicit LogViewSink(LogViewWidget* view, UserNames* users = nullptr);
    ~LogViewSink() override;
    LogViewSink(const LogViewSink&) = delete;
    LogViewSink& operator=(const LogViewSink&) = delete;

    void appendLine(std::u16string_view line) override;
    void appendQueryLine(std::u16string_view line, const ClientKey& client,
                         const Asker& asker) override;
    void askerSettled(const ClientKey& client, const Asker& asker) override;

private:
    QString noteText(std::uint64_t note) override;
    void append(std::u16string_view line, std::uint64_t note);

    QPointer<LogViewWidget> view_;
    UserNames* users_;
    LineAskers askers_;
};

}  // namespace corvane
