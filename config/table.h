/*
 * table.h - the global settings table and the per-record scratch hash of the
 * configuration parser.
 *
 * Settings come from SET statements and the title file (global entries) and
 * may be made per node (non-global entries, found before a global entry of
 * the same key).  Keys are stored lower case.  GetValue is how the rest of
 * the system reads a setting ("run_only_with_dual_ac", "damc_pf_time",
 * "nominal_input_voltage", "dbconsole", "opc_title...").
 *
 * The scratch hash holds the key/value pairs of the one NODE_RECORD being
 * read; it is empty between records.
 */
#ifndef XR_CONFIG_TABLE_H
#define XR_CONFIG_TABLE_H

/* One settings record.  Each bucket is a circular, doubly linked ring whose
 * first record lives in the bucket array; an empty bucket has Key null and
 * both links pointing at itself. */
struct StringTable_t {
    StringTable_t *Next;
    StringTable_t *Prev;
    char *Key;   /* owned, lower case */
    char *Value; /* owned, may be null */
    int Global;  /* 1: SET statement or title file; 0: per node */
};

constexpr int StringTableSize = 255;

/* The bucket array (StringTableSize records), null until InitTable. */
extern StringTable_t *Table;

/* Allocates the empty buckets the first time; afterwards frees every entry. */
void InitTable();
/* Frees every entry and the buckets. */
void FreeTable();
/* Stores value under the lower-cased key (both copied). */
void AddToTable(const char *key, const char *value, int global);
/* The stored value of key (compared lower case), or null. */
const char *SearchTable(const char *key);
/* SearchTable; a miss with required non-zero gives a severity-1 message. */
const char *GetValue(const char *key, int required);
/* Bucket of a key that is already lower case. */
int TableBucket(const char *lower_key);

/* ---- Scratch hash of one NODE_RECORD ------------------------------------ */

constexpr int ScratchHashSize = 256;

/* Bucket of a key: sum of its bytes as signed chars, modulo 256. */
int HashOnKey(const char *key);
/* Adds key/value, taking ownership of value (malloc'd); a key given twice in
 * one record keeps the later value. */
void ScratchAdd(const char *key, char *value);
/* Hands the value of key (exact match) over to the caller and forgets it;
 * null when the record did not give the key. */
char *ScratchTake(const char *key);
/* 1 when the record gave the key. */
int ScratchHas(const char *key);
/* Number of entries not yet taken. */
int ScratchSize();
/* Frees every entry. */
void ScratchClear();

#endif
