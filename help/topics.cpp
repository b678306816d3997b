/*
 * topics.cpp - the help file and topic records of xh_TopicTable.
 *
 * Both kinds of record live in one table keyed by a pair of strings:
 * ("FILE", file name) for a file, (topic name, file name) for a topic.  The
 * hash is the byte sum of the file name, so all records of one file share a
 * bucket; keys compare by both strings.  Records are made on first use and
 * kept for the life of the process, so the file positions of topics learned
 * once speed up every later look-up.
 *
 * Callers: Help() and the page parser's actions (xh_StartPage, the index).
 */
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/trace.h"
#include "help/xh_state.h"

/* ---- constants ---------------------------------------------------------- */

namespace {
constexpr const char kFileKey[] = "FILE";
constexpr int kTopicTableSize = 8;     /* 256 buckets */
}

/* ---- static prototypes -------------------------------------------------- */

static unsigned long TopicHash(const void *key);
static long TopicCompare(const void *a, const void *b);
static bool EnsureTopicTable();
static char *CopyString(const char *text);

/* ---- the table ---------------------------------------------------------- */

static unsigned long TopicHash(const void *key)
{
    const auto *k = static_cast<const xh_Key *>(key);
    unsigned long sum = 0;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(k->second); *p != '\0'; ++p)
        sum += *p;
    return sum;
}

static long TopicCompare(const void *a, const void *b)
{
    const auto *ka = static_cast<const xh_Key *>(a);
    const auto *kb = static_cast<const xh_Key *>(b);
    if (int diff = std::strcmp(ka->second, kb->second); diff != 0)
        return diff;
    return std::strcmp(ka->first, kb->first);
}

void xh_CreateTopicTable()
{
    if (xh_TopicTable == nullptr)
        xh_TopicTable = ht_CreateHashTable(kTopicTableSize, nullptr, TopicHash, TopicCompare);
}

/* The table is made by InitHelp; the parser's scan mode may run without it
 * (no display), so the look-ups make it themselves when needed. */
static bool EnsureTopicTable()
{
    xh_CreateTopicTable();
    return xh_TopicTable != nullptr;
}

static char *CopyString(const char *text)
{
    return strdup(text != nullptr ? text : "");
}

/* ---- records ------------------------------------------------------------ */

xh_HelpFile *xh_FindHelpFile(const char *file_name)
{
    if (file_name == nullptr || !EnsureTopicTable())
        return nullptr;
    xh_Key probe{const_cast<char *>(kFileKey), const_cast<char *>(file_name)};
    if (auto *found = static_cast<xh_HelpFile *>(ht_SearchTable(xh_TopicTable, &probe)); found != nullptr)
        return found;

    auto *file = new (std::nothrow) xh_HelpFile{};
    if (file == nullptr)
        return nullptr;
    file->file_name = CopyString(file_name);
    file->key.first = CopyString(kFileKey);
    file->key.second = file->file_name;
    if (file->file_name == nullptr || file->key.first == nullptr) {
        std::free(file->file_name);
        std::free(file->key.first);
        delete file;
        return nullptr;
    }
    file->font_list = xh_TextFont;
    ht_AddToTable(xh_TopicTable, &file->key, file);
    xh_dprint(5, "xh_FindHelpFile: new file record \"%s\"\n", file_name);
    return file;
}

xh_Topic *xh_FindTopic(const char *topic_name, const char *file_name)
{
    /* ("FILE", name) is the key of the file record itself. */
    if (topic_name == nullptr || file_name == nullptr || std::strcmp(topic_name, kFileKey) == 0 ||
        !EnsureTopicTable())
        return nullptr;
    xh_Key probe{const_cast<char *>(topic_name), const_cast<char *>(file_name)};
    if (auto *found = static_cast<xh_Topic *>(ht_SearchTable(xh_TopicTable, &probe)); found != nullptr)
        return found;

    xh_HelpFile *file = xh_FindHelpFile(file_name);
    if (file == nullptr)
        return nullptr;
    auto *topic = new (std::nothrow) xh_Topic{};
    if (topic == nullptr)
        return nullptr;
    topic->topic_name = CopyString(topic_name);
    if (topic->topic_name == nullptr) {
        delete topic;
        return nullptr;
    }
    topic->key.first = topic->topic_name;
    topic->key.second = file->file_name;
    topic->file = file;
    topic->position = -1;
    topic->depth = 0;
    ht_AddToTable(xh_TopicTable, &topic->key, topic);
    xh_dprint(5, "xh_FindTopic: new topic record \"%s\" in \"%s\"\n", topic_name, file_name);
    return topic;
}
