#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

    void logLine(std::u16string_view message) override { lines.emplace_back(message); }
    std::int32_t msUntilWriteOut() const override { return msUntilDue; }
    void writeOutDue() override { ++writeOuts; }

    std::vector<std::string> utf8Lines() const {
        std::vector<std::string> out;
        for (const std::u16string& line : lines) {
            appendUtf8(line, out.emplace_back());
        }
        return out;
    }
};

}  // namespace corvane::test
