#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// The names asked for in one DNS query, read from its question section by
// QuestionReader, whose literal reading they follow (the count's magnitude, a
// 0 byte ends a name wherever it stands, no compression pointers, an
// incomplete last name dropped).
//
// Each label byte becomes one 16-bit character of the same value (no case
// folding, no validation) and labels are joined with ".". Empty names (the
// root) are skipped. No byte at or beyond length is ever read, whatever the
// buffer holds there.
//
// The object is meant to be reused: read() keeps the storage of earlier calls.
class QuestionNames {
public:
    // Reads the names of the message in bytes [0, length); a message shorter
    // than a 12-byte header yields no names.
    void read(const std::uint8_t* message, std::int32_t length);

    std::size_t count() const { return ends_.size(); }
    std::u16string_view name(std::size_t index) const;
    // The same name, zero-terminated, for the filter plug-in.
    const char16_t* terminatedName(std::size_t index) const;

private:
    // Every name followed by a 0 character; ends_ holds the offset of each 0.
    std::u16string text_;
    std::vector<std::size_t> ends_;
};

}  // namespace corvane
