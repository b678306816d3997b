/*
 * table.cpp - the settings table (255 rings of StringTable_t) and the
 * scratch hash of the NODE_RECORD being read.
 */
#include "config/table.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "config/parsecfg.h"
#include "daemon/message.h"

namespace {

struct ScratchEntry {
    std::string key;
    char *value; /* owned */
};

std::vector<ScratchEntry> ScratchHash[ScratchHashSize];
/* Chains holding entries (so that emptying does not visit all 256), and
 * the number of entries. */
std::vector<int> ScratchUsedChains;
int ScratchEntries = 0;

char *CopyString(const char *text);
char *LowerCopy(const char *text);
void EmptyBucket(StringTable_t &bucket);
void ReplaceString(char *&field, char *text);

} // namespace

StringTable_t *Table = nullptr;

/* ------------------------------------------------------------------------ */

namespace {

char *CopyString(const char *text)
{
    if (text == nullptr)
        return nullptr;
    std::size_t size = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(nxs_malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, text, size);
    return copy;
}

char *LowerCopy(const char *text)
{
    char *copy = CopyString(text);
    if (copy != nullptr) {
        for (char *p = copy; *p != '\0'; ++p)
            *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    return copy;
}

void ReplaceString(char *&field, char *text)
{
    std::free(field);
    field = text;
}

/* Frees every record of a bucket's ring and leaves the bucket empty. */
void EmptyBucket(StringTable_t &bucket)
{
    StringTable_t *record = bucket.Next;
    while (record != &bucket) {
        StringTable_t *next = record->Next;
        std::free(record->Key);
        std::free(record->Value);
        std::free(record);
        record = next;
    }
    std::free(bucket.Key);
    std::free(bucket.Value);
    bucket = StringTable_t{&bucket, &bucket, nullptr, nullptr, 0};
}

} // namespace

int TableBucket(const char *lower_key)
{
    int sum = 0;
    for (const char *p = lower_key; *p != '\0'; ++p)
        sum += static_cast<signed char>(*p);
    return ((sum % StringTableSize) + StringTableSize) % StringTableSize;
}

void InitTable()
{
    if (Table == nullptr) {
        Table = static_cast<StringTable_t *>(nxs_malloc(sizeof(StringTable_t) * StringTableSize));
        if (Table == nullptr)
            return;
        for (int i = 0; i < StringTableSize; ++i)
            Table[i] = StringTable_t{&Table[i], &Table[i], nullptr, nullptr, 0};
        return;
    }
    for (int i = 0; i < StringTableSize; ++i)
        EmptyBucket(Table[i]);
}

void FreeTable()
{
    if (Table == nullptr)
        return;
    InitTable();
    std::free(Table);
    Table = nullptr;
}

void AddToTable(const char *key, const char *value, int global)
{
    if (key == nullptr)
        return;
    if (Table == nullptr)
        InitTable();
    char *lower_key = LowerCopy(key);
    if (Table == nullptr || lower_key == nullptr) {
        std::free(lower_key);
        return;
    }
    StringTable_t &first = Table[TableBucket(lower_key)];

    /* The same key at the same level: replace. */
    if (first.Key != nullptr) {
        StringTable_t *record = &first;
        do {
            if (record->Global == global && std::strcmp(record->Key, lower_key) == 0) {
                ReplaceString(record->Key, lower_key);
                ReplaceString(record->Value, CopyString(value));
                return;
            }
            record = record->Next;
        } while (record != &first);
    }

    if (first.Key == nullptr) {
        first.Key = lower_key;
        first.Value = CopyString(value);
        first.Global = global;
        return;
    }
    auto *record = static_cast<StringTable_t *>(nxs_malloc(sizeof(StringTable_t)));
    if (record == nullptr) {
        std::free(lower_key);
        return;
    }
    *record = StringTable_t{first.Next, &first, lower_key, CopyString(value), global};
    first.Next->Prev = record;
    first.Next = record;

    /* A per-node entry must be found before the global entry of its key. */
    if (first.Global && std::strcmp(first.Key, record->Key) == 0) {
        std::swap(first.Key, record->Key);
        std::swap(first.Value, record->Value);
        std::swap(first.Global, record->Global);
    }
}

const char *SearchTable(const char *key)
{
    if (key == nullptr || Table == nullptr)
        return nullptr;
    char *lower_key = LowerCopy(key);
    if (lower_key == nullptr)
        return nullptr;
    const StringTable_t &first = Table[TableBucket(lower_key)];
    const char *found = nullptr;
    if (first.Key != nullptr) {
        const StringTable_t *record = &first;
        do {
            if (std::strcmp(record->Key, lower_key) == 0) {
                found = record->Value;
                break;
            }
            record = record->Next;
        } while (record != &first);
    }
    std::free(lower_key);
    return found;
}

const char *GetValue(const char *key, int required)
{
    const char *value = SearchTable(key);
    if (value == nullptr && required != 0) {
        SetSeverity(SEV_WARNING);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 11, "GetValue: required field \"%s\" missing from config file (line %d)\n"),
                   key ? key : "", LineNumber);
    }
    return value;
}

/* ------------------------------------------------------------------------ */
/* Scratch hash */

int HashOnKey(const char *key)
{
    int sum = 0;
    for (const char *p = key; *p != '\0'; ++p)
        sum += static_cast<signed char>(*p);
    return ((sum % ScratchHashSize) + ScratchHashSize) % ScratchHashSize;
}

void ScratchAdd(const char *key, char *value)
{
    int bucket = HashOnKey(key);
    std::vector<ScratchEntry> &chain = ScratchHash[bucket];
    for (ScratchEntry &entry : chain) {
        if (entry.key == key) {
            std::free(entry.value);
            entry.value = value;
            return;
        }
    }
    if (chain.empty())
        ScratchUsedChains.push_back(bucket);
    chain.push_back(ScratchEntry{key, value});
    ++ScratchEntries;
}

char *ScratchTake(const char *key)
{
    std::vector<ScratchEntry> &chain = ScratchHash[HashOnKey(key)];
    for (std::size_t i = 0; i < chain.size(); ++i) {
        if (chain[i].key == key) {
            char *value = chain[i].value;
            chain[i] = std::move(chain.back());
            chain.pop_back();
            --ScratchEntries;
            return value;
        }
    }
    return nullptr;
}

int ScratchHas(const char *key)
{
    for (const ScratchEntry &entry : ScratchHash[HashOnKey(key)]) {
        if (entry.key == key)
            return 1;
    }
    return 0;
}

int ScratchSize()
{
    return ScratchEntries;
}

void ScratchClear()
{
    for (int bucket : ScratchUsedChains) {
        for (ScratchEntry &entry : ScratchHash[bucket])
            std::free(entry.value);
        ScratchHash[bucket].clear();
    }
    ScratchUsedChains.clear();
    ScratchEntries = 0;
}
