#include "attribution/ClientCache.h"

#include <iterator>

namespace corvane {

ClientCache::ClientCache(std::size_t capacity, std::int64_t trustNanoseconds)
    : capacity_(capacity), trust_(trustNanoseconds) {
    entries_.reserve(capacity);
}

const CachedAsker* ClientCache::trusted(const ClientKey& client, std::int64_t now) const {
    const CachedAsker* entry = remembered(client);
    return entry != nullptr && now - entry->checkedAt < trust_ ? entry : nullptr;
}

const CachedAsker* ClientCache::remembered(const ClientKey& client) const {
    const auto found = entries_.find(client);
    return found == entries_.end() ? nullptr : &found->second;
}

void ClientCache::store(const ClientKey& client, const CachedAsker& entry, std::int64_t now) {
    const auto found = entries_.find(client);
    if (found != entries_.end()) {
        found->second = entry;
        return;
    }
    if (entries_.size() >= capacity_ && (!swept_ || now - lastSweep_ >= trust_)) {
        sweep(now);
    }
    if (entries_.size() < capacity_) {
        entries_.emplace(client, entry);
    }
}

void ClientCache::sweep(std::int64_t now) {
    swept_ = true;
    lastSweep_ = now;
    for (auto it = entries_.begin(); it != entries_.end();) {
        it = now - it->second.checkedAt >= trust_ ? entries_.erase(it) : std::next(it);
    }
}

}  // namespace corvane
