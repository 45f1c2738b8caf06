#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "NameHash.h"

namespace corvane::blocklist {

// A query name taken apart for lookups: every parent domain of it that a set
// could hold (what is left after dropping whole leading labels), shortest
// first and the whole name last, each with its hash. Made once per query, so
// that the block list, its exceptions and the allow list all share one pass
// over the name.
//
// The name is query text, one character per byte: a character above U+00FF
// matches nothing, so no suffix reaches past one; nor does a suffix longer
// than MaxNameLength. Nor is the name's own length bounded: a question may
// run on for most of a 65,535-byte TCP message.
class QueryName {
public:
    // Refers to name, which must outlive it.
    explicit QueryName(std::u16string_view name);

    std::size_t suffixCount() const { return count_; }
    std::u16string_view suffix(std::size_t k) const { return name_.substr(suffixes_[k].start); }
    std::uint64_t hash(std::size_t k) const { return suffixes_[k].hash; }

private:
    struct Suffix {
        std::size_t start;
        std::uint64_t hash;
    };

    std::u16string_view name_;
    // A suffix begins after every dot, and a label may itself hold dots
    // (query text does not escape them), so a name of dots alone has a
    // suffix at every character: as many as the MaxNameLength characters a
    // suffix may span.
    std::array<Suffix, MaxNameLength> suffixes_;
    std::size_t count_ = 0;
};

}  // namespace corvane::blocklist
