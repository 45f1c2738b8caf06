#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "attribution/Asker.h"
#include "attribution/ClientEndpoint.h"
#include "log/Log.h"
#include "log/Utf8.h"

namespace corvane::test {

// Keeps every message as it was given, one entry per call. Tests that compare
// with plain string literals read the lines as UTF-8, converted the way the
// log file converts them.
class FakeLog final : public Log {
public:
    std::vector<std::u16string> lines;
    // What msUntilWriteOut reports, and how often writeOutDue was called.
    std::int32_t msUntilDue = NothingHeld;
    int writeOuts = 0;

    // Who asked, beside each line of lines: none for a line not about a
    // query. And every settled lookup the log was told of, in order.
    struct LineAsker {
        ClientKey client;
        Asker asker;
    };
    std::vector<std::optional<LineAsker>> askers;
    std::vector<LineAsker> settled;

    void logLine(std::u16string_view message) override {
        lines.emplace_back(message);
        askers.emplace_back();
    }
    void queryLine(std::u16string_view message, const ClientKey& client,
                   const Asker& asker) override {
        lines.emplace_back(message);
        askers.emplace_back(LineAsker{client, asker});
    }
    void askerSettled(const ClientKey& client, const Asker& asker) override {
        settled.push_back({client, asker});
    }
    std::int32_t msUntilWriteOut() const override { return msUntilDue; }
    void writeOutDue() override { ++writeOuts; }

    void clear() {
        lines.clear();
        askers.clear();
        settled.clear();
    }

    std::vector<std::string> utf8Lines() const {
        std::vector<std::string> out;
        for (const std::u16string& line : lines) {
            appendUtf8(line, out.emplace_back());
        }
        return out;
    }
};

}  // namespace corvane::test
