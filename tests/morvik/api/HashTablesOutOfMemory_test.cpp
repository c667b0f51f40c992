// Running out of memory inside a hash table, Tcl's own allocations included: the insert throws
// (a std::bad_alloc) and the table is as it was, usable and deletable.
#include <morvik/api/CountTable.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "FailingMalloc.h"

namespace {

// Enough keys that the bucket arrays grow past what Tcl's allocator keeps at hand.
constexpr std::uint32_t kKeys = 20000;

// Appended piece by piece: GCC 12 at -O3 sees an overlap in "k" + std::to_string(...) that
// cannot happen (a false -Wrestrict).
std::string KeyText(std::uint32_t i) {
    std::string text = "k";
    text += std::to_string(i * 2654435761u);
    return text;
}

// Inserts every key with each allocation of its insert failing in turn, then once with none
// failing; returns the number of failed inserts. insert(i) inserts key i once; a failed one must
// leave the table as it was, with the keys before i alone.
template <typename Table, typename Insert>
std::size_t InsertThroughFailures(Table& table, Insert&& insert) {
    std::size_t failures = 0;
    for (std::uint32_t i = 0; i < kKeys; ++i) {
        const char* error = nullptr; // what() is a literal: keeping it needs no memory
        failures += SweepAllocationFailures(
            false,
            [&] {
                try {
                    insert(i);
                } catch (const std::bad_alloc& e) {
                    error = e.what();
                }
            },
            [&](bool failed) {
                if (failed) {
                    EXPECT_STREQ(error, "hash: could not allocate memory") << i;
                    EXPECT_EQ(table.Size(), static_cast<int>(i));
                } else {
                    EXPECT_EQ(error, nullptr) << i;
                    EXPECT_EQ(table.Size(), static_cast<int>(i + 1));
                }
                error = nullptr;
            });
    }
    return failures;
}

TEST(HashTablesOutOfMemory, AFailedInsertLeavesTheTableAsItWas) {
    // Precomputed: making the key text would be one more allocation in the sweep.
    std::vector<std::string> keys;
    for (std::uint32_t i = 0; i < kKeys; ++i)
        keys.push_back(KeyText(i));
    {
        CountTable table;
        EXPECT_GT(InsertThroughFailures(table,
                                        [&](std::uint32_t i) { table.Increment(keys[i].c_str()); }),
                  0u);
        EXPECT_EQ(table.Size(), static_cast<int>(kKeys));
        std::set<std::string> seen;
        std::string term;
        std::int32_t count = 0;
        for (int r = table.First(term, count); r == 1; r = table.Next(term, count)) {
            EXPECT_EQ(count, 1) << term;
            seen.insert(term);
        }
        EXPECT_EQ(seen, std::set<std::string>(keys.begin(), keys.end()));
    }
    {
        FourGramTable table(0);
        // Distinct 4-grams that are no text's: the table takes any 32-bit key but 0.
        EXPECT_GT(InsertThroughFailures(table, [&](std::uint32_t i) { table.Increment(i + 1); }),
                  0u);
        EXPECT_EQ(table.Size(), static_cast<int>(kKeys));
        std::uint32_t visited = 0;
        table.ForEach([&](std::uint32_t gram, std::int32_t count) {
            EXPECT_EQ(count, 1) << gram;
            EXPECT_TRUE(gram >= 1 && gram <= kKeys) << gram;
            ++visited;
        });
        EXPECT_EQ(visited, kKeys);
        for (std::uint32_t g = 1; g <= kKeys; ++g)
            ASSERT_EQ(table.Get(g), 1) << g;
    }
}

} // namespace
