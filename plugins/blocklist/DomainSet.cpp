#include "DomainSet.h"

#include <algorithm>
#include <array>
#include <utility>

#include "NameHash.h"

namespace corvane::blocklist {
namespace {

// Far more than a list has; keeps the table's slot count within 32 bits.
constexpr std::size_t MaxNames = std::size_t{1} << 31;

std::uint32_t tagOf(std::uint64_t hash) {
    return static_cast<std::uint32_t>(hash >> 32);
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
        // A name has at most one mark per byte: the builder takes any bytes,
        // dots side by side included, not only the names a list parses to.
        if (markCount_ + name.size() > marks_.size() || nameCount_ == names_.size()) {
            flush();
        }
        std::uint64_t hash = HashSeed;
        std::uint64_t suffixHash = 0;
        for (std::size_t i = name.size(); i > 0; --i) {
            hash = hashStep(hash, static_cast<unsigned char>(name[i - 1]));
            if (i == 1 || name[i - 2] == '.') {
                suffixHash = hashFinish(hash);
                set_.suffixes_.prefetch(suffixHash);
                marks_[markCount_++] = {suffixHash, i == 1 ? Mark::Stored : Mark::Parent};
            }
        }
        __builtin_prefetch(&set_.slots_[set_.home(suffixHash)], 1);
        names_[nameCount_++] = Pending{ref, name, suffixHash};
    }

private:
    using Mark = SuffixFilter::Mark;
    struct PendingMark {
        std::uint64_t hash;
        Mark mark;
    };
    struct Pending {
        std::uint32_t ref;
        std::string_view name;
        std::uint64_t hash;
    };

    void flush() {
        for (std::size_t k = 0; k < markCount_; ++k) {
            set_.suffixes_.add(marks_[k].hash, marks_[k].mark);
        }
        for (std::size_t k = 0; k < nameCount_; ++k) {
            set_.insert(names_[k].ref, names_[k].name, names_[k].hash);
        }
        markCount_ = 0;
        nameCount_ = 0;
    }

    DomainSet& set_;
    std::array<Pending, 16> names_;
    std::size_t nameCount_ = 0;
    // The marks of the longest name the arena holds fit an empty batch.
    static constexpr std::size_t MarkRoom = 256;
    static_assert(MarkRoom >= NameArena::MaxNameBytes);
    std::array<PendingMark, MarkRoom> marks_;
    std::size_t markCount_ = 0;
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
    slots_ = PageArray<Slot>(names + names * 2 / 3 + 1);
    suffixes_ = SuffixFilter(suffixes);
    IndexBatch batch(*this);
    arena_.forEach([&](std::uint32_t ref, std::string_view name) { batch.add(ref, name); });
}

bool DomainSet::containsSelfOrParent(std::u16string_view name) const {
    return count_ != 0 && containsSelfOrParent(QueryName(name));
}

bool DomainSet::containsSelfOrParent(const QueryName& name) const {
    if (count_ == 0) {
        return false;
    }
    const std::size_t count = name.suffixCount();
    // Each question is most likely a cache miss in a big set: ask for the
    // first few, and for the whole name's slot, the one a listed name
    // queried as it stands needs, at once, so their misses overlap instead
    // of queueing. The filter is not asked about the whole name, the last
    // suffix: the table answers for it anyway.
    for (std::size_t k = 0; k < std::min<std::size_t>(count, 3); ++k) {
        if (k + 1 < count) {
            suffixes_.prefetch(name.hash(k));
        }
        __builtin_prefetch(&slots_[home(name.hash(k))]);
    }
    if (count > 3) {
        __builtin_prefetch(&slots_[home(name.hash(count - 1))]);
    }
    for (std::size_t k = 0; k + 1 < count; ++k) {
        const SuffixFilter::Marks marks = suffixes_.marksOf(name.hash(k));
        if (marks.mayBeStored && storesSuffix(name, k)) {
            return true;
        }
        if (!marks.mayBeParent) {
            // No stored name lies below a domain that is not even a parent.
            return false;
        }
    }
    return count != 0 && storesSuffix(name, count - 1);
}

bool DomainSet::storesSuffix(const QueryName& name, std::size_t k) const {
    const std::u16string_view suffix = name.suffix(k);
    return stores(name.hash(k), [&](std::string_view candidate) {
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
}

std::size_t DomainSet::memoryBytes() const {
    return arena_.bytes() + slots_.bytes() + suffixes_.bytes();
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
