#include "QueryName.h"

namespace corvane::blocklist {

QueryName::QueryName(std::u16string_view name) : name_(name) {
    std::uint64_t hash = HashSeed;
    const std::size_t stop = name.size() > MaxNameLength ? name.size() - MaxNameLength : 0;
    for (std::size_t i = name.size(); i > stop; --i) {
        const char16_t c = name[i - 1];
        if (c > 0xFF) {
            break;
        }
        hash = hashStep(hash, foldCase(c));
        const std::size_t start = i - 1;
        if (start == 0 || name[start - 1] == u'.') {
            suffixes_[count_++] = Suffix{start, hashFinish(hash)};
        }
    }
}

}  // namespace corvane::blocklist
