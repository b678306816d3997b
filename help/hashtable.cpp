/*
 * hashtable.cpp - the help system's hash tables (ht_*).
 *
 * A table is an array of 2^size buckets.  Each bucket is a circular
 * doubly-linked list whose head node lives in the array itself: an empty
 * bucket is a head that points at itself and holds no key.  A new pair goes
 * into the empty head, or into a new node right after the head.  Deleting
 * the head moves the second node into it, so the head stays in the array.
 *
 * Used by the topic records (topics.cpp) and the help contexts
 * (context.cpp).  Keys and values belong to the caller.
 */
#include "help/hashtable.h"

#include <cstdlib>
#include <new>

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr int kMinSize = 6;
constexpr int kMaxSize = 14;
}

/* ---- types -------------------------------------------------------------- */

namespace {
struct ht_Node {
    ht_Node *next;
    ht_Node *prev;
    void *key;      /* null in an empty head */
    void *value;
};
}

struct ht_HashTable {
    ht_Node *buckets;
    unsigned long bucket_count;
    Display *display;
    ht_HashFunc hash;
    ht_CompareFunc compare;
};

/* ---- static prototypes -------------------------------------------------- */

static ht_Node *BucketOf(ht_HashTable *table, const void *key);
static ht_Node *FindNode(ht_HashTable *table, const void *key);
static void EmptyBucket(ht_Node *head);

/* ---- creation ----------------------------------------------------------- */

ht_HashTable *ht_CreateHashTable(int size, Display *display, ht_HashFunc hash, ht_CompareFunc compare)
{
    if (hash == nullptr || compare == nullptr)
        return nullptr;
    if (size < kMinSize)
        size = kMinSize;
    if (size > kMaxSize)
        size = kMaxSize;

    auto *table = new (std::nothrow) ht_HashTable;
    if (table == nullptr)
        return nullptr;
    table->bucket_count = 1UL << size;
    table->buckets = new (std::nothrow) ht_Node[table->bucket_count];
    if (table->buckets == nullptr) {
        delete table;
        return nullptr;
    }
    for (unsigned long i = 0; i < table->bucket_count; i++) {
        ht_Node &head = table->buckets[i];
        head.next = head.prev = &head;
        head.key = head.value = nullptr;
    }
    table->display = display;
    table->hash = hash;
    table->compare = compare;
    return table;
}

void ht_DestroyHashTable(ht_HashTable *table)
{
    if (table == nullptr)
        return;
    ht_ClearTable(table);
    delete[] table->buckets;
    delete table;
}

/* ---- lookup ------------------------------------------------------------- */

static ht_Node *BucketOf(ht_HashTable *table, const void *key)
{
    return &table->buckets[table->hash(key) & (table->bucket_count - 1)];
}

/* The node holding key, or null. */
static ht_Node *FindNode(ht_HashTable *table, const void *key)
{
    ht_Node *head = BucketOf(table, key);
    if (head->key == nullptr)
        return nullptr;
    ht_Node *node = head;
    do {
        if (table->compare(node->key, key) == 0)
            return node;
        node = node->next;
    } while (node != head);
    return nullptr;
}

void *ht_SearchTable(ht_HashTable *table, const void *key)
{
    if (table == nullptr || key == nullptr)
        return nullptr;
    ht_Node *node = FindNode(table, key);
    return node != nullptr ? node->value : nullptr;
}

/* ---- changes ------------------------------------------------------------ */

void *ht_AddToTable(ht_HashTable *table, void *key, void *value)
{
    if (table == nullptr || key == nullptr)
        return nullptr;
    if (ht_Node *node = FindNode(table, key); node != nullptr) {
        void *old = node->value;
        node->value = value;
        return old;
    }
    ht_Node *head = BucketOf(table, key);
    if (head->key == nullptr) {
        head->key = key;
        head->value = value;
        return nullptr;
    }
    auto *node = new (std::nothrow) ht_Node;
    if (node == nullptr) {
        /* Out of memory: the pair is not stored, which the caller sees
         * as a failed later search; nothing else can be done here. */
        return nullptr;
    }
    node->key = key;
    node->value = value;
    node->prev = head;
    node->next = head->next;
    head->next->prev = node;
    head->next = node;
    return nullptr;
}

void *ht_DeleteFromTable(ht_HashTable *table, const void *key)
{
    if (table == nullptr || key == nullptr)
        return nullptr;
    ht_Node *node = FindNode(table, key);
    if (node == nullptr)
        return nullptr;
    void *value = node->value;
    ht_Node *head = BucketOf(table, key);
    if (node == head) {
        ht_Node *second = head->next;
        if (second == head) {
            head->key = head->value = nullptr;
            return value;
        }
        /* Move the second node into the head and free the second. */
        head->key = second->key;
        head->value = second->value;
        node = second;
    }
    node->prev->next = node->next;
    node->next->prev = node->prev;
    delete node;
    return value;
}

static void EmptyBucket(ht_Node *head)
{
    ht_Node *node = head->next;
    while (node != head) {
        ht_Node *next = node->next;
        delete node;
        node = next;
    }
    head->next = head->prev = head;
    head->key = head->value = nullptr;
}

void ht_ClearTable(ht_HashTable *table)
{
    if (table == nullptr)
        return;
    for (unsigned long i = 0; i < table->bucket_count; i++)
        EmptyBucket(&table->buckets[i]);
}

void ht_ForEach(ht_HashTable *table, void (*fn)(void *key, void *value, void *data), void *data)
{
    if (table == nullptr || fn == nullptr)
        return;
    for (unsigned long i = 0; i < table->bucket_count; i++) {
        ht_Node *head = &table->buckets[i];
        if (head->key == nullptr)
            continue;
        ht_Node *node = head;
        do {
            ht_Node *next = node->next;   /* fn must not change the table */
            fn(node->key, node->value, data);
            node = next;
        } while (node != head);
    }
}
