#include "attribution/AskerStore.h"

#include <new>

namespace corvane {

namespace {

// The program's name may not fit in memory: the entry then says what is
// known without it rather than nothing.
void assign(Asker& to, const Asker& from) {
    try {
        to = from;
    } catch (const std::bad_alloc&) {
        to.program.clear();
        to.state = from.state == AskerState::Process ? AskerState::Owner : from.state;
        to.pid = 0;
        to.uid = from.uid;
        to.settled = from.settled;
    }
}

}  // namespace

AskerStore::Handle AskerStore::keep(const ClientKey& client, const Asker& asker) {
    const Handle handle = takeEntry();
    if (handle == NoHandle) {
        return NoHandle;
    }
    Entry& entry = entries_[handle - 1];
    assign(entry.asker, asker);
    entry.client = client;
    entry.used = true;
    ++size_;
    if (!entry.asker.settled) {
        wait(handle, entry);
    }
    return handle;
}

AskerStore::Handle AskerStore::takeEntry() {
    if (!free_.empty()) {
        const Handle handle = free_.back();
        free_.pop_back();
        return handle;
    }
    try {
        entries_.emplace_back();
        // Room for every handle to come back, so that release never allocates.
        free_.reserve(entries_.size());
    } catch (const std::bad_alloc&) {
        return NoHandle;
    }
    return static_cast<Handle>(entries_.size());
}

void AskerStore::wait(Handle handle, Entry& entry) {
    try {
        const auto [first, added] = waitingFirst_.try_emplace(entry.client, handle);
        if (!added) {
            // Joins the front of the client's list.
            entry.next = first->second;
            entries_[first->second - 1].previous = handle;
            first->second = handle;
        }
        ++waitingCount_;
    } catch (const std::bad_alloc&) {
        // Nothing can find it to settle it: it stays with what was known.
        entry.asker.settled = true;
    }
}

void AskerStore::stopWaiting(Entry& entry) {
    if (entry.previous != NoHandle) {
        entries_[entry.previous - 1].next = entry.next;
    } else if (entry.next != NoHandle) {
        waitingFirst_[entry.client] = entry.next;
    } else {
        waitingFirst_.erase(entry.client);
    }
    if (entry.next != NoHandle) {
        entries_[entry.next - 1].previous = entry.previous;
    }
    entry.previous = entry.next = NoHandle;
    --waitingCount_;
}

void AskerStore::release(Handle handle) {
    Entry* entry = find(handle);
    if (entry == nullptr) {
        return;
    }
    if (!entry->asker.settled) {
        stopWaiting(*entry);
    }
    entry->used = false;
    --size_;
    free_.push_back(handle);
}

void AskerStore::settle(const ClientKey& client, const Asker& asker) {
    const auto first = waitingFirst_.find(client);
    if (first == waitingFirst_.end()) {
        return;
    }
    for (Handle handle = first->second; handle != NoHandle;) {
        Entry& entry = entries_[handle - 1];
        const Handle next = entry.next;
        assign(entry.asker, asker);
        entry.asker.settled = true;
        entry.previous = entry.next = NoHandle;
        --waitingCount_;
        handle = next;
    }
    waitingFirst_.erase(first);
}

AskerStore::Entry* AskerStore::find(Handle handle) {
    if (handle == NoHandle || handle > entries_.size() || !entries_[handle - 1].used) {
        return nullptr;
    }
    return &entries_[handle - 1];
}

const AskerStore::Entry* AskerStore::find(Handle handle) const {
    return const_cast<AskerStore*>(this)->find(handle);
}

const Asker* AskerStore::asker(Handle handle) const {
    const Entry* entry = find(handle);
    return entry != nullptr ? &entry->asker : nullptr;
}

const ClientKey* AskerStore::client(Handle handle) const {
    const Entry* entry = find(handle);
    return entry != nullptr ? &entry->client : nullptr;
}

}  // namespace corvane
