#include "DomainSet.h"

#include <algorithm>
#include <array>
#include <utility>

namespace corvane::blocklist {
namespace {

constexpr std::uint64_t HashSeed = 0xCBF29CE484222325ULL;
constexpr std::uint64_t HashPrime = 0x100000001B3ULL;
// Far more than a list has; keeps the table's slot count within 32 bits.
constexpr std::size_t MaxNames = std::size_t{1} << 31;

constexpr unsigned char foldCase(unsigned value) {
    return static_cast<unsigned char>(value >= 'A' && value <= 'Z' ? value + ('a' - 'A') : value);
}

// The hash runs over a name from its last byte to its first, so that while
// walking a name leftwards the hash of every parent domain is at hand the
// moment its first byte is reached. The finish step spreads the bits that
// FNV leaves weak, since the table uses the low half and the tag the high.
constexpr std::uint64_t hashStep(std::uint64_t hash, unsigned char byte) {
    return (hash ^ byte) * HashPrime;
}

constexpr std::uint64_t hashFinish(std::uint64_t hash) {
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53ULL;
    hash ^= hash >> 33;
    return hash;
}

std::uint32_t tagOf(std::uint64_t hash) {
    return static_cast<std::uint32_t>(hash >> 32);
}

// The parent domains of a query name that could be stored, with their hashes,
// shortest first.
struct Suffix {
    std::size_t start;
    std::uint64_t hash;
};
using Suffixes = std::array<Suffix, DomainSet::MaxNameLength / 2 + 1>;

// Only a suffix no longer than the longest storable name can match, and none
// that reaches past a character wider than a byte.
std::size_t suffixesOf(std::u16string_view name, Suffixes& suffixes) {
    std::size_t count = 0;
    std::uint64_t hash = HashSeed;
    const std::size_t stop =
        name.size() > DomainSet::MaxNameLength ? name.size() - DomainSet::MaxNameLength : 0;
    for (std::size_t i = name.size(); i > stop; --i) {
        const char16_t c = name[i - 1];
        if (c > 0xFF) {
            break;
        }
        hash = hashStep(hash, foldCase(c));
        const std::size_t start = i - 1;
        if (start == 0 || name[start - 1] == u'.') {
            suffixes[count++] = Suffix{start, hashFinish(hash)};
        }
    }
    return count;
}

}  // namespace

std::size_t DomainSet::home(std::uint64_t hash) const {
    return static_cast<std::size_t>(((hash & 0xFFFFFFFFU) * slots_.size()) >> 32);
}

// Scans the probe chain of hash for a stored name that equals() accepts;
// the tag spares a look into the arena for nearly every other name.
template <typename Equals>
bool DomainSet::stores(std::uint64_t hash, Equals equals) const {
    const std::uint32_t tag = tagOf(hash);
    for (std::size_t slot = home(hash); slots_[slot].ref != 0; slot = next(slot)) {
        if (slots_[slot].tag == tag && equals(arena_.name(slots_[slot].ref))) {
            return true;
        }
    }
    return false;
}

// The table and the filter of a big list are far bigger than the cache, so
// nearly every store into them is a miss. The names go in batches: the hashes
// of a batch are worked out first, asking for the slots and blocks they go
// to as they come, and stored afterwards, when those misses have overlapped.
class DomainSet::IndexBatch {
public:
    explicit IndexBatch(DomainSet& set) : set_(set) {}
    IndexBatch(const IndexBatch&) = delete;
    IndexBatch& operator=(const IndexBatch&) = delete;
    ~IndexBatch() { flush(); }

    void add(std::uint32_t ref, std::string_view name) {
        if (suffixCount_ + MaxNameLength / 2 + 1 > suffixes_.size() ||
            nameCount_ == names_.size()) {
            flush();
        }
        std::uint64_t hash = HashSeed;
        std::uint64_t suffixHash = 0;
        for (std::size_t i = name.size(); i > 0; --i) {
            hash = hashStep(hash, static_cast<unsigned char>(name[i - 1]));
            if (i == 1 || name[i - 2] == '.') {
                suffixHash = hashFinish(hash);
                set_.suffixes_.prefetch(suffixHash);
                suffixes_[suffixCount_++] = suffixHash;
            }
        }
        __builtin_prefetch(&set_.slots_[set_.home(suffixHash)], 1);
        names_[nameCount_++] = Pending{ref, name, suffixHash};
    }

private:
    struct Pending {
        std::uint32_t ref;
        std::string_view name;
        std::uint64_t hash;
    };

    void flush() {
        for (std::size_t k = 0; k < suffixCount_; ++k) {
            set_.suffixes_.add(suffixes_[k]);
        }
        for (std::size_t k = 0; k < nameCount_; ++k) {
            set_.insert(names_[k].ref, names_[k].name, names_[k].hash);
        }
        suffixCount_ = 0;
        nameCount_ = 0;
    }

    DomainSet& set_;
    std::array<Pending, 16> names_;
    std::size_t nameCount_ = 0;
    std::array<std::uint64_t, 256> suffixes_;
    std::size_t suffixCount_ = 0;
};

void DomainSet::insert(std::uint32_t ref, std::string_view name, std::uint64_t hash) {
    if (stores(hash, [&](std::string_view stored) { return stored == name; })) {
        return;  // a duplicate: its bytes stay in the arena, unreferenced
    }
    std::size_t slot = home(hash);
    while (slots_[slot].ref != 0) {
        slot = next(slot);
    }
    slots_[slot] = Slot{ref, tagOf(hash)};
    ++count_;
}

void DomainSet::index(std::size_t names, std::size_t suffixes) {
    if (names == 0) {
        return;
    }
    // At most 60% full: a miss, the common case for a filter, ends within a
    // cache line or two.
    slots_.assign(names + names * 2 / 3 + 1, Slot{0, 0});
    suffixes_ = SuffixFilter(suffixes);
    IndexBatch batch(*this);
    arena_.forEach([&](std::uint32_t ref, std::string_view name) { batch.add(ref, name); });
}

bool DomainSet::containsSelfOrParent(std::u16string_view name) const {
    if (count_ == 0) {
        return false;
    }
    Suffixes suffixes;
    const std::size_t count = suffixesOf(name, suffixes);
    // Each question is most likely a cache miss in a big set: ask for the
    // first few at once, so their misses overlap instead of queueing.
    // The filter is not asked about the whole name, the last suffix: the
    // table answers for it anyway.
    for (std::size_t k = 0; k < std::min<std::size_t>(count, 3); ++k) {
        if (k + 1 < count) {
            suffixes_.prefetch(suffixes[k].hash);
        }
        __builtin_prefetch(&slots_[home(suffixes[k].hash)]);
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (k + 1 < count && !suffixes_.mayContain(suffixes[k].hash)) {
            // No stored name lies below a domain that is not even a parent.
            return false;
        }
        const std::u16string_view suffix = name.substr(suffixes[k].start);
        const bool stored = stores(suffixes[k].hash, [&](std::string_view candidate) {
            if (candidate.size() != suffix.size()) {
                return false;
            }
            for (std::size_t j = 0; j < candidate.size(); ++j) {
                if (static_cast<unsigned char>(candidate[j]) != foldCase(suffix[j])) {
                    return false;
                }
            }
            return true;
        });
        if (stored) {
            return true;
        }
    }
    return false;
}

std::size_t DomainSet::memoryBytes() const {
    return arena_.bytes() + slots_.capacity() * sizeof(Slot) + suffixes_.bytes();
}

bool DomainSet::Builder::add(std::string_view name) {
    if (name.empty() || name.size() > MaxNameLength || names_ == MaxNames) {
        return false;
    }
    std::array<char, MaxNameLength> folded;
    std::size_t labels = 1;
    for (std::size_t i = 0; i < name.size(); ++i) {
        folded[i] = static_cast<char>(foldCase(static_cast<unsigned char>(name[i])));
        labels += name[i] == '.' ? 1 : 0;
    }
    if (arena_.append(std::string_view(folded.data(), name.size())) == 0) {
        return false;
    }
    ++names_;
    suffixes_ += labels;
    return true;
}

DomainSet DomainSet::Builder::build() {
    DomainSet set;
    set.arena_ = std::exchange(arena_, NameArena{});
    set.index(std::exchange(names_, 0), std::exchange(suffixes_, 0));
    return set;
}

}  // namespace corvane::blocklist
