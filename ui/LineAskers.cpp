#include "ui/LineAskers.h"

namespace corvane {

LineAskers::LineAskers(std::size_t capacity) : ring_(capacity == 0 ? 1 : capacity) {}

std::uint64_t LineAskers::add(const ClientKey& client, const Asker& asker) {
    AskerStore::Handle& slot = ring_[nextSerial_ % ring_.size()];
    // The line this slot served last is older than any the view shows.
    store_.release(slot);
    slot = store_.keep(client, asker);
    if (slot == AskerStore::NoHandle) {
        return 0;
    }
    return nextSerial_++;
}

AskerStore::Handle LineAskers::handleOf(std::uint64_t serial) const {
    if (serial == 0 || serial >= nextSerial_ || nextSerial_ - serial > ring_.size()) {
        return AskerStore::NoHandle;
    }
    return ring_[serial % ring_.size()];
}

}  // namespace corvane
