#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string_view>
#include <type_traits>

namespace corvane {

// A chained hash table of fixed-layout records filed under short texts.
//
// The slot of a key is fixed by its text alone (hash below, 512 slots), and
// a new record goes to the head of its chain, so the order of a walk can be
// told from the keys and the order in which they were added. The table keeps
// one current record that the lookups set; deleteCurrent removes it, also in
// the middle of a walk, which then goes on with the record that followed.
//
// Nodes of removed records are kept on a free list and handed out again, so
// a table in steady use allocates nothing. Not thread-safe; the table owns
// its nodes and is neither copied nor moved.
template <class Record>
class TextKeyedTable {
    static_assert(std::is_trivially_copyable_v<Record>, "records are zeroed and copied as bytes");

public:
    static constexpr std::size_t Slots = 512;
    // Longest key the table files; our keys are decimal 32-bit numbers.
    static constexpr std::size_t MaxKeyLength = 20;

    TextKeyedTable() = default;
    TextKeyedTable(const TextKeyedTable&) = delete;
    TextKeyedTable& operator=(const TextKeyedTable&) = delete;
    ~TextKeyedTable() {
        for (Node* head : heads_) {
            freeChain(head);
        }
        freeChain(free_);
    }

    // Multiply by 65599 and add the character, in unsigned 32-bit arithmetic.
    static std::uint32_t hashOf(std::u16string_view key) {
        std::uint32_t hash = 0;
        for (char16_t c : key) {
            hash = hash * 65599u + c;
        }
        return hash;
    }
    static std::size_t slotOf(std::u16string_view key) { return hashOf(key) % Slots; }

    // The record under key, made current; nullptr (current unchanged) if absent.
    Record* find(std::u16string_view key) {
        Node* node = lookup(key);
        if (node == nullptr) {
            return nullptr;
        }
        current_ = node;
        return &node->record;
    }

    // A copy of the record under key (made current), or a zeroed record
    // without adding anything.
    Record readOrZero(std::u16string_view key) {
        const Record* record = find(key);
        return record != nullptr ? *record : Record{};
    }

    // The record under key, added zeroed at the head of its chain if absent;
    // made current either way. nullptr only when the key is longer than
    // MaxKeyLength or no memory is left; the current record is then unchanged.
    Record* findOrAdd(std::u16string_view key) {
        if (Record* record = find(key)) {
            return record;
        }
        if (key.size() > MaxKeyLength) {
            return nullptr;
        }
        Node* node = takeNode();
        if (node == nullptr) {
            return nullptr;
        }
        std::copy(key.begin(), key.end(), node->key.begin());
        node->keyLength = static_cast<std::uint8_t>(key.size());
        node->record = Record{};
        Node*& head = heads_[slotOf(key)];
        node->previous = nullptr;
        node->next = head;
        if (head != nullptr) {
            head->previous = node;
        }
        head = node;
        ++size_;
        current_ = node;
        return &node->record;
    }

    // The current record, or nullptr when there is none (at start, after a
    // deleteCurrent).
    Record* current() { return current_ != nullptr ? &current_->record : nullptr; }

    // Removes the current record; nothing to do when there is none. A walk in
    // progress goes on with the record that followed the removed one.
    void deleteCurrent() {
        Node* node = current_;
        if (node == nullptr) {
            return;
        }
        current_ = nullptr;
        if (walkNext_ == node) {
            walkNext_ = node->next;
        }
        if (node->previous != nullptr) {
            node->previous->next = node->next;
        } else {
            heads_[slotOf(node->keyView())] = node->next;
        }
        if (node->next != nullptr) {
            node->next->previous = node->previous;
        }
        node->next = free_;
        free_ = node;
        --size_;
    }

    // Walk every record once: slots ascending, each chain from its newest
    // record. nextInWalk makes each record current in turn; nullptr at the end.
    void resetWalk() {
        walkSlot_ = 0;
        walkNext_ = nullptr;
    }
    Record* nextInWalk() {
        while (walkNext_ == nullptr && walkSlot_ < Slots) {
            walkNext_ = heads_[walkSlot_++];
        }
        Node* node = walkNext_;
        if (node == nullptr) {
            return nullptr;
        }
        walkNext_ = node->next;
        current_ = node;
        return &node->record;
    }

    // The key of the current record; empty when there is none.
    std::u16string_view currentKey() const {
        return current_ != nullptr ? current_->keyView() : std::u16string_view{};
    }

    std::size_t size() const { return size_; }
    // Nodes ever allocated, held or on the free list; it grows only with the
    // largest number of records held at once.
    std::size_t nodesAllocated() const { return allocated_; }

private:
    struct Node {
        Node* next;
        Node* previous;
        Record record;
        std::array<char16_t, MaxKeyLength> key;
        std::uint8_t keyLength;

        std::u16string_view keyView() const { return {key.data(), keyLength}; }
    };

    Node* lookup(std::u16string_view key) const {
        for (Node* node = heads_[slotOf(key)]; node != nullptr; node = node->next) {
            if (node->keyView() == key) {
                return node;
            }
        }
        return nullptr;
    }

    Node* takeNode() {
        if (free_ != nullptr) {
            Node* node = free_;
            free_ = node->next;
            return node;
        }
        Node* node = new (std::nothrow) Node;
        if (node != nullptr) {
            ++allocated_;
        }
        return node;
    }

    static void freeChain(Node* node) {
        while (node != nullptr) {
            Node* next = node->next;
            delete node;
            node = next;
        }
    }

    std::array<Node*, Slots> heads_{};
    Node* free_ = nullptr;
    Node* current_ = nullptr;
    std::size_t walkSlot_ = 0;
    Node* walkNext_ = nullptr;
    std::size_t size_ = 0;
    std::size_t allocated_ = 0;
};

}  // namespace corvane
