#include "proxy/TextKeyedTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "proxy/KeyText.h"

namespace corvane {
namespace {

struct Counter {
    std::int32_t value;
    std::int32_t other;
};
using Table = TextKeyedTable<Counter>;

// The keys in the order a full walk visits them.
std::vector<std::u16string> walkKeys(Table& table) {
    std::vector<std::u16string> keys;
    table.resetWalk();
    while (table.nextInWalk() != nullptr) {
        keys.emplace_back(table.currentKey());
    }
    return keys;
}

TEST(TextKeyedTable, HashAndSlotOfKeys) {
    // Worked out by hand: hash = hash * 65599 + character, 32-bit unsigned.
    const struct {
        std::u16string_view key;
        std::uint32_t hash;
        std::size_t slot;
    } cases[] = {
        {u"1", 49, 49},
        {u"10", 3214399, 63},
        {u"-1", 2952004, 324},
        {u"-32768", 2676239565u, 205},
        {u"-2147483648", 4075567098u, 506},
        {u"abc", 807794786, 98},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key.begin(), c.key.end()));
        EXPECT_EQ(Table::hashOf(c.key), c.hash);
        EXPECT_EQ(Table::slotOf(c.key), c.slot);
    }
}

TEST(TextKeyedTable, LookupsAddOnlyThroughFindOrAdd) {
    Table table;
    EXPECT_EQ(table.find(u"7"), nullptr);
    EXPECT_EQ(table.readOrZero(u"7").value, 0);
    EXPECT_EQ(table.size(), 0u);

    table.findOrAdd(u"7")->value = 5;
    table.findOrAdd(u"8")->value = 6;
    EXPECT_EQ(table.findOrAdd(u"7")->value, 5);
    EXPECT_EQ(table.readOrZero(u"8").value, 6);
    EXPECT_EQ(table.currentKey(), u"8");
    // A miss leaves the current record where it was.
    EXPECT_EQ(table.find(u"70"), nullptr);
    EXPECT_EQ(table.currentKey(), u"8");
    EXPECT_EQ(table.size(), 2u);

    // A removed record comes back zeroed, although its node is reused.
    table.deleteCurrent();
    EXPECT_EQ(table.find(u"8"), nullptr);
    const Counter* again = table.findOrAdd(u"8");
    EXPECT_EQ(again->value, 0);
    EXPECT_EQ(again->other, 0);
    EXPECT_EQ(table.findOrAdd(std::u16string(Table::MaxKeyLength + 1, u'1')), nullptr);
}

TEST(TextKeyedTable, WalkGoesBySlotThenNewestFirst) {
    Table table;
    // "-9937" shares slot 49 with "1" and is added after it.
    for (std::u16string_view key : {u"-1", u"1", u"10", u"-9937"}) {
        table.findOrAdd(key);
    }
    ASSERT_EQ(Table::slotOf(u"-9937"), Table::slotOf(u"1"));
    EXPECT_EQ(walkKeys(table), (std::vector<std::u16string>{u"-9937", u"1", u"10", u"-1"}));
}

TEST(TextKeyedTable, DeletingDuringAWalkSkipsNothing) {
    Table table;
    // Long chains (many keys per slot) and consecutive slots.
    for (std::int32_t i = -1500; i < 1500; ++i) {
        table.findOrAdd(KeyText(i).view())->value = i;
    }
    const std::vector<std::u16string> order = walkKeys(table);
    ASSERT_EQ(order.size(), 3000u);

    // Remove every odd record while walking: each even one is still seen.
    std::vector<std::u16string> seen;
    table.resetWalk();
    while (const Counter* record = table.nextInWalk()) {
        seen.emplace_back(table.currentKey());
        if (record->value % 2 != 0) {
            table.deleteCurrent();
        }
    }
    EXPECT_EQ(seen, order);
    EXPECT_EQ(table.size(), 1500u);

    // Remove everything, one after the other.
    std::size_t visited = 0;
    table.resetWalk();
    while (table.nextInWalk() != nullptr) {
        table.deleteCurrent();
        ++visited;
    }
    EXPECT_EQ(visited, 1500u);
    EXPECT_EQ(table.size(), 0u);
    EXPECT_TRUE(walkKeys(table).empty());
}

TEST(TextKeyedTable, RemovingTheNextRecordOfAWalkByFindMovesPastIt) {
    Table table;
    for (std::u16string_view key : {u"1", u"-9937", u"-9816"}) {  // one chain
        table.findOrAdd(key);
    }
    table.resetWalk();
    ASSERT_NE(table.nextInWalk(), nullptr);
    EXPECT_EQ(table.currentKey(), u"-9816");
    ASSERT_NE(table.find(u"-9937"), nullptr);
    table.deleteCurrent();
    ASSERT_NE(table.nextInWalk(), nullptr);
    EXPECT_EQ(table.currentKey(), u"1");
    EXPECT_EQ(table.nextInWalk(), nullptr);
}

TEST(TextKeyedTable, RemovedNodesAreReused) {
    Table table;
    for (int round = 0; round < 3; ++round) {
        for (std::int32_t i = 0; i < 200; ++i) {
            table.findOrAdd(KeyText(round * 1000 + i).view());
        }
        table.resetWalk();
        while (table.nextInWalk() != nullptr) {
            table.deleteCurrent();
        }
    }
    EXPECT_EQ(table.nodesAllocated(), 200u);
}

TEST(KeyText, DecimalTextOfNumbers) {
    const struct {
        KeyText key;
        std::u16string_view expected;
    } cases[] = {
        {KeyText(0), u"0"},
        {KeyText(-7), u"-7"},
        {KeyText(2147483647), u"2147483647"},
        {KeyText(-2147483647 - 1), u"-2147483648"},
        {transactionKey(1), u"1"},
        {transactionKey(0x7FFF), u"32767"},
        {transactionKey(0x8000), u"-32768"},
        {transactionKey(0xFFFF), u"-1"},
        // From message bytes: the first byte is the low byte.
        {transactionKey(0x01, 0x00), u"1"},
        {transactionKey(0x00, 0x80), u"-32768"},
        {transactionKey(0xFF, 0xFF), u"-1"},
        {clientKey(0xFFFFFFFFu), u"-1"},
        {clientKey(0x80000000u), u"-2147483648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.key.view(), c.expected) << std::string(c.expected.begin(), c.expected.end());
    }
}

// Retiring a query frees the number its key was made from: every number
// comes back from its key, and no other text passes for a key.
TEST(KeyText, TransactionNumberComesBackFromItsKey) {
    for (std::uint32_t n = 0; n <= 0xFFFF; ++n) {
        const auto number = static_cast<std::uint16_t>(n);
        ASSERT_EQ(transactionNumberOf(transactionKey(number).view()), number);
    }
    for (std::u16string_view text :
         {u"", u"-", u"-0", u"007", u"32768", u"-32769", u"123456", u"12a", u"+5", u" 5"}) {
        EXPECT_EQ(transactionNumberOf(text), std::nullopt) << std::string(text.begin(), text.end());
    }
}

}  // namespace
}  // namespace corvane
