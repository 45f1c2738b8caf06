#include "log/Logger.h"

#include <algorithm>
#include <utility>

#include "log/LineText.h"
#include "log/TimePrefix.h"
#include "log/Utf8.h"

namespace corvane {

namespace {

// Typical lines (a query with a few names) fit without the buffers growing.
constexpr std::size_t InitialLineCapacity = 512;

}  // namespace

Logger::Logger(const Clock& clock, std::string filePath)
    : clock_(clock), file_(std::move(filePath)) {
    line_.reserve(InitialLineCapacity);
    utf8_.reserve(InitialLineCapacity * 3);
}

void Logger::logLine(std::u16string_view message) {
    writeLine(message, nullptr, nullptr);
}

void Logger::queryLine(std::u16string_view message, const ClientKey& client, const Asker& asker) {
    writeLine(message, &client, &asker);
}

void Logger::askerSettled(const ClientKey& client, const Asker& asker) {
    if (view_ != nullptr) {
        view_->askerSettled(client, asker);
    }
}

void Logger::writeLine(std::u16string_view message, const ClientKey* client, const Asker* asker) {
    const std::int64_t now = clock_.localSeconds();
    if (prefix_.empty() || now != prefixSeconds_) {
        prefix_.clear();
        appendTimePrefix(now, prefix_);
        prefixSeconds_ = now;
    }
    line_.assign(prefix_);
    appendOneLine(message, line_);

    // Opened before the view sees the line, so that the byte order mark
    // precedes the first line whatever the view does.
    file_.open();

    if (view_ != nullptr) {
        if (client != nullptr && asker != nullptr) {
            view_->appendQueryLine(line_, *client, *asker);
        } else {
            view_->appendLine(line_);
        }
    }

    if (file_.isOpen()) {
        utf8_.clear();
        appendUtf8(line_, utf8_);
        file_.write(utf8_);
        file_.write("\r\n");
        if (!holding_ && file_.hasBuffered()) {
            holding_ = true;
            heldSinceMs_ = clock_.monotonicMs();
        }
    }
}

// A line that waits since a flush wrote out older ones makes the deadline
// earlier than it need be, never later.
std::int32_t Logger::msUntilWriteOut() const {
    if (!holding_) {
        return NothingHeld;
    }
    const std::int64_t waited = clock_.monotonicMs() - heldSinceMs_;
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(WriteOutDelayMs - waited, 0, WriteOutDelayMs));
}

void Logger::writeOutDue() {
    if (holding_ && msUntilWriteOut() == 0) {
        file_.flush();
        holding_ = false;
    }
}

}  // namespace corvane
