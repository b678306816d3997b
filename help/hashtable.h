/*
 * hashtable.h - the help system's hash tables: a bucket array of 2^size
 * circular doubly-linked lists whose head nodes live in the array.  The
 * topic table (topic and file records keyed by string pairs) and the context
 * table (help contexts keyed by X window id) are both of this kind.
 *
 * Keys and values are the caller's; the table never copies nor frees them.
 */
#ifndef XR_HELP_HASHTABLE_H
#define XR_HELP_HASHTABLE_H

#include <X11/Xlib.h>

/* Bucket index of a key (taken modulo the bucket count). */
using ht_HashFunc = unsigned long (*)(const void *key);
/* 0 when the keys are equal. */
using ht_CompareFunc = long (*)(const void *a, const void *b);

struct ht_HashTable;

/* A table of 2^size buckets, size clamped to 6..14.  `display` is kept for
 * callers that key by window; it may be null. */
ht_HashTable *ht_CreateHashTable(int size, Display *display, ht_HashFunc hash, ht_CompareFunc compare);
void ht_DestroyHashTable(ht_HashTable *table);
/* Stores value under key.  An existing key gets the new value and its old
 * value is returned; otherwise null. */
void *ht_AddToTable(ht_HashTable *table, void *key, void *value);
/* The value stored under key, or null. */
void *ht_SearchTable(ht_HashTable *table, const void *key);
/* Removes key; returns its value, or null when it was not there. */
void *ht_DeleteFromTable(ht_HashTable *table, const void *key);
/* Empties every bucket. */
void ht_ClearTable(ht_HashTable *table);
/* Calls fn for every stored pair, bucket by bucket. */
void ht_ForEach(ht_HashTable *table, void (*fn)(void *key, void *value, void *data), void *data);

#endif
