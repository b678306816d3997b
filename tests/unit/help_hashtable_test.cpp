/* help_hashtable_test.cpp - the help system's hash tables when keys share a bucket. */
#include <gtest/gtest.h>

#include <cstdint>
#include <map>

#include "help/hashtable.h"

namespace {

/* Every key in one bucket, so that the head node and the chain after it
 * are both exercised; keys are small integers. */
unsigned long one_bucket(const void *) { return 7; }
long compare(const void *a, const void *b)
{
    return static_cast<long>(reinterpret_cast<std::intptr_t>(a) - reinterpret_cast<std::intptr_t>(b));
}
void *key(int k) { return reinterpret_cast<void *>(static_cast<std::intptr_t>(k)); }
void *value(int v) { return reinterpret_cast<void *>(static_cast<std::intptr_t>(1000 + v)); }

std::map<std::intptr_t, std::intptr_t> contents(ht_HashTable *table)
{
    std::map<std::intptr_t, std::intptr_t> seen;
    ht_ForEach(
        table,
        [](void *k, void *v, void *data) {
            (*static_cast<std::map<std::intptr_t, std::intptr_t> *>(data))[reinterpret_cast<std::intptr_t>(k)] =
                reinterpret_cast<std::intptr_t>(v);
        },
        &seen);
    return seen;
}

TEST(HelpHashTable, KeysSharingABucketSurviveReplacementAndDeletionInAnyPlace)
{
    ht_HashTable *table = ht_CreateHashTable(8, nullptr, one_bucket, compare);
    ASSERT_NE(table, nullptr);
    for (int k = 1; k <= 5; k++)
        EXPECT_EQ(ht_AddToTable(table, key(k), value(k)), nullptr);
    /* A key stored again keeps one entry and hands back the old value. */
    EXPECT_EQ(ht_AddToTable(table, key(3), value(33)), value(3));
    EXPECT_EQ(ht_SearchTable(table, key(3)), value(33));

    /* The head (the first key), a middle and the last node go; the rest stay. */
    for (int k : {1, 4, 2}) {
        EXPECT_EQ(ht_DeleteFromTable(table, key(k)), value(k));
        EXPECT_EQ(ht_SearchTable(table, key(k)), nullptr);
        EXPECT_EQ(ht_DeleteFromTable(table, key(k)), nullptr);
    }
    EXPECT_EQ(contents(table), (std::map<std::intptr_t, std::intptr_t>{{3, 1033}, {5, 1005}}));
    /* Emptied completely, the bucket takes keys again. */
    for (int k : {3, 5})
        ht_DeleteFromTable(table, key(k));
    EXPECT_TRUE(contents(table).empty());
    EXPECT_EQ(ht_AddToTable(table, key(9), value(9)), nullptr);
    EXPECT_EQ(ht_SearchTable(table, key(9)), value(9));
    ht_ClearTable(table);
    EXPECT_EQ(ht_SearchTable(table, key(9)), nullptr);
    ht_DestroyHashTable(table);
}

} // namespace
