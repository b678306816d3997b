/*
 * parsecfg.cpp - statement loop, tokeniser, quote converter and the node
 * builder of the configuration parser.
 *
 * A statement is cut into tokens the way strtok cuts it, but each token
 * with its own delimiter set (the n-th token uses the n-th set, the last set
 * for any further ones); leading delimiters are skipped.  A token beginning
 * with a double quote goes through the quote converter.
 *
 * A NODE_RECORD whose line is malformed is abandoned: its remaining lines
 * are skipped up to its END, or up to a new NODE_RECORD line, which starts
 * the next record (so that a record missing its END does not swallow the
 * next one).  End of file inside a NODE_RECORD ends the parse and the
 * unfinished record is dropped with a warning: a record without its END
 * may have been cut short, and a node built from half its keys would get
 * wrong defaults silently.
 */
#include "config/parsecfg.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/console_path.h"
#include "base/process.h"
#include "base/trace.h"
#include "config/config.h"
#include "config/table.h"
#include "daemon/message.h"
#include "daemon/util.h"

namespace {

/* Statement prefixes and the number of characters compared. */
struct Prefix {
    const char *text;
    std::size_t length;
};
constexpr Prefix kSetPrefix{"SET", 3};
constexpr Prefix kTypePrefix{"TYPE_RECORD", 11};
constexpr Prefix kNodePrefix{"NODE_RECORD", 11};
constexpr Prefix kEndPrefix{"END", 3};

/* Delimiter sets, one per token.  The type name and the icon path of a
 * TYPE_RECORD end at a tab or blank, or at the end of the line: a newline
 * kept in the icon path would name another file. */
constexpr const char *kSetDelims[] = {" ", "=", "\n"};
constexpr int kSetMaxTokens = 4;
constexpr const char *kTypeDelims[] = {" ", "=", "\t \n", "=", "\t \n", "\n", "=", "\n"};
constexpr int kTypeMaxTokens = 8;
constexpr const char *kNodeDelims[] = {"=", "\n"};
constexpr int kNodeMaxTokens = 3;

constexpr int kTitleSize = 40;
constexpr int kDefaultConnType = 3;
constexpr unsigned kYCabMask = 0x3FF;
constexpr unsigned kYPortMask = 3;
constexpr unsigned kConnTypeMask = 0xF;

/* Interface keywords (exact case). */
struct InterfaceKeyword {
    const char *name;
    int type;
};
constexpr InterfaceKeyword kInterfaces[] = {
    {"TELNET", INTERFACE_TELNET}, {"TTY", INTERFACE_TTY}, {"NONE", INTERFACE_NONE}, {"SLAN", INTERFACE_SLAN}};

std::string config_file_path;

/* Where each node name is listed, so that a node given twice replaces the
 * earlier one without a scan of the list per node: an open-addressing table
 * of list indexes (-1 empty), twice the size of the list, keyed by the name
 * the listed node holds. */
constexpr std::size_t kNameIndexSize = 32768;
static_assert(kNameIndexSize >= 2 * NodeListMaxSize && (kNameIndexSize & (kNameIndexSize - 1)) == 0);
std::array<int, kNameIndexSize> NodeIndexByName;

void ClearNameIndex();
int *NameIndexSlot(const char *name);

bool HasPrefix(const char *line, Prefix prefix);
bool IsDelimiter(char c, const char *delims);
int ReadLine(FILE *stream, char *line);
std::string Printable(const char *line);
int Tokenize(char *line, const char *const *sets, int set_count, char **tokens, int max_tokens);
void ConvertQuotes(char *token);
char *Duplicate(const char *text);
void ParseSetStatement(char *line);
void ParseTypeStatement(char *line);
void ParseNodeStatement(FILE *stream);
int NodeLine(char *line);
void ReadTitleFile();
int GetInterfaceType(const char *text);
int DefaultSubType(int host_type, int sub_type);
void ReadYLink(const char *text, unsigned &cab, unsigned &port, unsigned &side);
void ReadNodeKeys(Node_t *node);
void ReadAttachments(Node_t *node);
int ListNode(Node_t *node);
[[noreturn]] void OutOfMemory();

} // namespace

FILE *ConfigDes = nullptr;
int LineNumber = 0;
int First_NodeRecord = 0;

/* ------------------------------------------------------------------------ */
/* Lines and tokens */

namespace {

bool HasPrefix(const char *line, Prefix prefix)
{
    return std::strncmp(line, prefix.text, prefix.length) == 0;
}

/* One line of at most CONFIG_LINE_SIZE-1 characters; 0 at end of file.
 * The program has one thread: the stream needs no locking per line. */
int ReadLine(FILE *stream, char *line)
{
    if (fgets_unlocked(line, CONFIG_LINE_SIZE, stream) == nullptr)
        return 0;
    ++LineNumber;
    return 1;
}

/* The line for a message: without its newline. */
std::string Printable(const char *line)
{
    std::string text(line);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

bool IsDelimiter(char c, const char *delims)
{
    for (const char *d = delims; *d != '\0'; ++d) {
        if (c == *d)
            return true;
    }
    return false;
}

int Tokenize(char *line, const char *const *sets, int set_count, char **tokens, int max_tokens)
{
    int count = 0;
    char *p = line;
    for (;;) {
        const char *delims = sets[count < set_count ? count : set_count - 1];
        while (*p != '\0' && IsDelimiter(*p, delims))
            ++p;
        if (*p == '\0')
            break;
        if (count >= max_tokens)
            return -1;
        tokens[count++] = p;
        while (*p != '\0' && !IsDelimiter(*p, delims))
            ++p;
        if (*p != '\0')
            *p++ = '\0';
    }
    for (int i = 0; i < count; ++i) {
        if (tokens[i][0] == '"')
            ConvertQuotes(tokens[i]);
    }
    return count;
}

/* In place: double quotes go, except one between two other characters; a
 * backslash before a double quote yields the quote; any other backslash
 * stays, followed by the character after it. */
void ConvertQuotes(char *token)
{
    std::size_t length = std::strlen(token);
    std::size_t out = 0;
    for (std::size_t i = 0; i < length; ++i) {
        char c = token[i];
        if (c == '\\') {
            if (i + 1 < length && token[i + 1] == '"') {
                token[out++] = '"';
                ++i;
            } else {
                token[out++] = '\\';
                if (i + 1 < length)
                    token[out++] = token[++i];
            }
        } else if (c == '"') {
            if (i != 0 && i != length - 1)
                token[out++] = '"';
        } else {
            token[out++] = c;
        }
    }
    token[out] = '\0';
}

char *Duplicate(const char *text)
{
    std::size_t size = std::strlen(text) + 1;
    auto *copy = static_cast<char *>(nxs_malloc(size));
    if (copy == nullptr)
        OutOfMemory();
    std::memcpy(copy, text, size);
    return copy;
}

/* A node cannot be built: the program cannot go on with half a model. */
void OutOfMemory()
{
    SetSeverity(SEV_ERROR);
    DisplayMsg("%s", nx_msg(NX_SET_CONFIG, 8, "AddNode: Could not malloc memory for NodePtr\n"));
    Exit(1);
}

/* ------------------------------------------------------------------------ */
/* Statements */

void ParseSetStatement(char *line)
{
    std::string original = Printable(line);
    bool has_equals = std::strchr(line, '=') != nullptr;
    char *tokens[kSetMaxTokens];
    int count = Tokenize(line, kSetDelims, 3, tokens, kSetMaxTokens);
    if (count < 2 || !has_equals) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 2, "ParseSetStatement: Invalid Set Record : %s\n"), original.c_str());
        return;
    }
    AddToTable(tokens[1], count >= 3 ? tokens[2] : nullptr, 1);
}

void ParseTypeStatement(char *line)
{
    std::string original = Printable(line);
    char *tokens[kTypeMaxTokens];
    int count = Tokenize(line, kTypeDelims, kTypeMaxTokens, tokens, kTypeMaxTokens);
    if (count < 0) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 3, "ParseTypeStatement: Invalid Type Record : %s\n"), original.c_str());
        return;
    }
    const char *name_word = count > 1 ? tokens[1] : "";
    const char *icon_word = count > 3 ? tokens[3] : "";
    if (count < 5 || std::strcmp(name_word, "name") != 0 || std::strcmp(icon_word, "icon") != 0) {
        if (debug >= 1) {
            SetSeverity(SEV_WARNING);
            DisplayMsg(nx_msg(NX_SET_CONFIG, 4,
                              "ParseTypeStatement: Fields don't match: %s != \"name\", or %s != \"icon\"\n"),
                       name_word, icon_word);
        }
        return;
    }
    char *name = Duplicate(tokens[2]);
    char *icon = Duplicate(tokens[4]);
    if (AddType(name, icon) < 0) {
        std::free(name);
        std::free(icon);
    }
}

/* One key=value line of a record into the scratch hash; 0 when malformed. */
int NodeLine(char *line)
{
    char *tokens[kNodeMaxTokens];
    int count = Tokenize(line, kNodeDelims, 2, tokens, kNodeMaxTokens);
    if (count < 2)
        return 0;
    char *key = tokens[0];
    while (*key == '\t')
        ++key;
    key[std::strcspn(key, "\t")] = '\0';
    ScratchAdd(key, Duplicate(tokens[1]));
    return 1;
}

void ParseNodeStatement(FILE *stream)
{
    char line[CONFIG_LINE_SIZE];
    bool abandoned = false;
    while (ReadLine(stream, line)) {
        if (line[0] == '#' || line[0] == '\n')
            continue;
        if (HasPrefix(line, kEndPrefix)) {
            if (!abandoned)
                AddNode();
            ScratchClear();
            return;
        }
        bool new_record = HasPrefix(line, kNodePrefix);
        if (abandoned) {
            abandoned = !new_record;
            continue;
        }
        char original[CONFIG_LINE_SIZE];
        std::memcpy(original, line, sizeof original);
        if (!NodeLine(line)) {
            SetSeverity(SEV_ERROR);
            DisplayMsg(nx_msg(NX_SET_CONFIG, 5, "ParseNodeStatement: Invalid Node Record : %s\n"),
                       Printable(original).c_str());
            ScratchClear();
            abandoned = !new_record;
        }
    }
    if (!abandoned) {
        SetSeverity(SEV_WARNING);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 14, "ParseNodeStatement: no END before end of file, record dropped (line %d)\n"),
                   LineNumber);
    }
    ScratchClear();
}

void ReadTitleFile()
{
    const char *title_file = std::getenv("OPCTITLEFILE");
    FILE *stream = title_file ? std::fopen(title_file, "r") : nullptr;
    if (stream == nullptr) {
        dprint(3, "ParseConfigFile(): Unable to open %s, fd = %d\n", title_file ? title_file : "(null)", -1);
        return;
    }
    char title[kTitleSize + 1];
    if (std::fgets(title, sizeof title, stream) != nullptr) {
        const char *lang = std::getenv("LANG");
        std::string key = "opc_title";
        if (lang != nullptr && *lang != '\0') {
            key += '_';
            key += lang;
        }
        AddToTable(key.c_str(), title, 1);
    }
    std::fclose(stream);
}

/* ------------------------------------------------------------------------ */
/* Node keys */

int GetInterfaceType(const char *text)
{
    if (text == nullptr)
        return INTERFACE_NOT_GIVEN;
    for (const InterfaceKeyword &keyword : kInterfaces) {
        if (std::strcmp(text, keyword.name) == 0)
            return keyword.type;
    }
    SetSeverity(SEV_WARNING);
    DisplayMsg(nx_msg(NX_SET_CONFIG, 7, "GetInterfaceType: unknown interface type %s (line %d)\n"), text, LineNumber);
    return INTERFACE_UNKNOWN;
}

/* Sub-type after the defaults of its host type; -1 means not given. */
int DefaultSubType(int host_type, int sub_type)
{
    switch (host_type) {
    case 6:
    case 7:
    case 204:
    case 205:
    case 207:
        return sub_type < 0 ? 0 : sub_type;
    case 201:
        return sub_type < 0 ? 3 : sub_type;
    case 208:
        return sub_type <= 0 ? 4 : sub_type;
    case 211:
        return sub_type <= 0 ? 15 : sub_type;
    default:
        return 0;
    }
}

/* "cab[:port[:side]]" of an interconnect attachment. */
void ReadYLink(const char *text, unsigned &cab, unsigned &port, unsigned &side)
{
    cab = port = side = 0;
    if (text == nullptr)
        return;
    cab = static_cast<unsigned>(DecimalValue(text)) & kYCabMask;
    const char *colon = std::strchr(text, ':');
    if (colon == nullptr)
        return;
    port = static_cast<unsigned>(DecimalValue(colon + 1)) & kYPortMask;
    colon = std::strchr(colon + 1, ':');
    if (colon != nullptr && (colon[1] == 'b' || colon[1] == 'B'))
        side = 1;
}

/* Takes the value of a key out of the record, or null. */
NodeString Take(const char *key)
{
    return NodeString(ScratchTake(key));
}

/* A key/value whose text is read for a number and then dropped. */
bool TakeNumber(const char *key, int &value)
{
    NodeString text = Take(key);
    if (!text)
        return false;
    value = DecimalValue(text.get());
    return true;
}

void ReadNodeKeys(Node_t *node)
{
    node->NodeName = Take("name");
    node->Alias = Take("alias");

    NodeString type = Take("type");
    node->HostType = type ? GetHostType(type.get()) : HOSTTYPE_NOT_FOUND;
    if (node->HostType == HOSTTYPE_NOT_FOUND) {
        SetSeverity(SEV_WARNING);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 6, "AddNode: unknown host type %s (line %d)\n"),
                   type ? type.get() : "(null)", LineNumber);
        node->HostType = 0;
    }
    NodeString sub_type = Take("subtype");
    node->SubType = DefaultSubType(node->HostType, GetNodeSubType(sub_type.get()));

    NodeString interface = Take("interface");
    node->InterfaceType = GetInterfaceType(interface.get());
    node->InterfaceAddress = Take("address");
    node->IPNumber = Take("ip_number");
    node->CabinetID = Take("cabinet");
    node->ProcessorID = Take("processor");
    node->SystemID = Take("system_id");

    bool rack_mounted = (node->HostType > NEW_HOSTTYPE_BASE && node->HostType != 210) || node->SubType >= SUBTYPE_RM;
    node->SystemName = Take("system_name");
    node->CabinetName = Take("cabinet_name");
    if (rack_mounted && node->SystemName && node->SystemName.get()[0] == ' ')
        node->SystemName.reset();
    if (rack_mounted && node->CabinetName && node->CabinetName.get()[0] == ' ')
        node->CabinetName.reset();

    int connect = kDefaultConnType;
    TakeNumber("connect", connect);
    node->SetY(Y_CONN_TYPE, static_cast<unsigned>(connect) & kConnTypeMask);
    NodeString apex = Take("apex");
    node->SetY(Y_IS_APEX, apex && (apex.get()[0] == 'y' || apex.get()[0] == 'Y'));
    NodeString channel = Take("channel");
    node->SetY(Y_CHANNEL, channel && (channel.get()[0] == 'b' || channel.get()[0] == 'B'));

    unsigned cab, port, side;
    NodeString link = Take("node");
    if (!link)
        link = Take("ymcatonodex-a");
    ReadYLink(link.get(), cab, port, side);
    node->SetY(Y_CAB, cab);
    node->SetY(Y_PORT, port);
    node->SetY(Y_SNP, side);
    NodeString xlink = Take("nodex");
    if (!xlink)
        xlink = Take("ymcatonodex-b");
    ReadYLink(xlink.get(), cab, port, side);
    node->SetY(Y_X_CAB, cab);
    node->SetY(Y_X_PORT, port);
    node->SetY(Y_X_SNP, side);

    /* Keys of the installation that this program has no use for: taken so
     * that they do not count as left over. */
    for (const char *unused :
         {"label", "port", "cluster", "init_script", "deinit_script", "parity", "baud", "databits", "stopbits"})
        Take(unused);

    /* Last, although they come before the scripts in the key table: the
     * order of the look-ups changes nothing, and with every named key taken
     * the attachment scan can stop as soon as the record is used up. */
    ReadAttachments(node);
}

/* The names of the per-attachment keys, "scsi_label0" ... "device_id55",
 * made once. */
struct AttachmentKeys {
    std::string label, bus, slot, bus_number, id, device;
};

const std::array<AttachmentKeys, MAX_ATTACHMENTS> &AttachmentKeyNames()
{
    static const std::array<AttachmentKeys, MAX_ATTACHMENTS> names = [] {
        std::array<AttachmentKeys, MAX_ATTACHMENTS> made;
        for (int i = 0; i < MAX_ATTACHMENTS; ++i) {
            std::string n = std::to_string(i);
            made[i] = AttachmentKeys{"scsi_label" + n, "mca_bus" + n, "mca_slot" + n,
                                     "bus_num" + n,    "scsi_id" + n, "device_id" + n};
        }
        return made;
    }();
    return names;
}

/* Without its label an attachment is not configured and its other keys are
 * not read. */
void ReadAttachments(Node_t *node)
{
    const auto &keys = AttachmentKeyNames();
    /* Every other key has been taken: what is left are attachments and
     * unknown keys, and when nothing is left there is nothing to look for. */
    for (int i = 0; i < MAX_ATTACHMENTS && ScratchSize() > 0; ++i) {
        NodeString label = Take(keys[i].label.c_str());
        if (!label)
            continue;
        unsigned high = static_cast<unsigned>(DecimalValue(label.get()));
        const char *colon = std::strchr(label.get(), ':');
        unsigned low = colon ? static_cast<unsigned>(DecimalValue(colon + 1)) : 0;
        node->SCSI_Label[i] = static_cast<int>((high << 8) | low);

        int value;
        if (TakeNumber(keys[i].bus.c_str(), value))
            node->MCA_Bus[i] = static_cast<short>(value);
        if (TakeNumber(keys[i].slot.c_str(), value))
            node->MCA_Slot[i] = static_cast<short>(value);
        if (TakeNumber(keys[i].bus_number.c_str(), value))
            node->BusNumber[i] = static_cast<short>(value);
        if (TakeNumber(keys[i].id.c_str(), value))
            node->SCSI_ID[i] = static_cast<short>(value);
        NodeString device = Take(keys[i].device.c_str());
        if (device)
            node->DEVICE_ID[i] = GetDeviceId(device.get());
    }
}

void ClearNameIndex()
{
    NodeIndexByName.fill(-1);
}

/* The slot of name: the one holding its node's index, or the empty slot
 * where it goes. */
int *NameIndexSlot(const char *name)
{
    std::uint32_t hash = 2166136261u; /* FNV-1a */
    for (const char *p = name; *p != '\0'; ++p)
        hash = (hash ^ static_cast<unsigned char>(*p)) * 16777619u;
    for (std::size_t probe = hash & (kNameIndexSize - 1);; probe = (probe + 1) & (kNameIndexSize - 1)) {
        int &slot = NodeIndexByName[probe];
        if (slot < 0 || std::strcmp(NodeList[slot]->NodeName.get(), name) == 0)
            return &slot;
    }
}

/* Lists a finished node: in place of a node of the same name, else at the
 * end.  -1 (node freed) when the list is full. */
int ListNode(Node_t *node)
{
    int *slot = node->NodeName ? NameIndexSlot(node->NodeName.get()) : nullptr;
    if (slot != nullptr && *slot >= 0) {
        ClearNode(*slot);
        NodeList[*slot] = node;
        ++NodeListVersion;
        return *slot;
    }
    if (NodeCount >= NodeListMaxSize) {
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 9, "AddNode: Number of nodes = %d exceeds maximum\n"), NodeCount + 1);
        FreeNode(node);
        return -1;
    }
    if (slot != nullptr)
        *slot = NodeCount;
    NodeList[NodeCount] = node;
    ++NodeListVersion;
    return NodeCount++;
}

} // namespace

/* ------------------------------------------------------------------------ */

const char *ConfigFilePath()
{
    if (config_file_path.empty())
        config_file_path = console_path(CONFIG_FILE_PATH);
    return config_file_path.c_str();
}

void SetConfigFilePath(const char *path)
{
    config_file_path = (path != nullptr) ? path : "";
}

int AddNode()
{
    Node_t *node = NewNode();
    if (node == nullptr)
        OutOfMemory();
    ReadNodeKeys(node);
    int index = ListNode(node);
    ScratchClear();
    return index;
}

int ParseConfig(FILE *stream)
{
    ClearNodeList();
    ClearNameIndex();
    ClearTypeList();
    ClearHostTypeHash();
    ScratchClear();
    First_NodeRecord = 0;
    LineNumber = 0;

    char line[CONFIG_LINE_SIZE];
    while (ReadLine(stream, line)) {
        if (line[0] == '#' || line[0] == '\n')
            continue;
        if (HasPrefix(line, kSetPrefix)) {
            ParseSetStatement(line);
            continue;
        }
        if (HasPrefix(line, kTypePrefix)) {
            ParseTypeStatement(line);
            continue;
        }
        if (!First_NodeRecord) {
            BuildHostTypeHash();
            First_NodeRecord = 1;
        }
        if (HasPrefix(line, kNodePrefix)) {
            ParseNodeStatement(stream);
        } else {
            SetSeverity(SEV_ERROR);
            DisplayMsg("%s", nx_msg(NX_SET_CONFIG, 1, "ParseConfig: Invalid Record\n"));
        }
    }
    ScratchClear();
    ClearNameIndex();
    First_NodeRecord = 0;
    return NodeCount;
}

/* 1. trace; 2. open; 3. read lock; 4. statements; 5. title; 6. sort;
 * 7. unlock and close. */
int ParseConfigFile()
{
    const char *path = ConfigFilePath();
    dprint(1, "ParseConfigFile: reading config file \"%s\"\n", path);

    ConfigDes = std::fopen(path, "r");
    if (ConfigDes == nullptr) {
        int error = errno;
        SetSeverity(SEV_ERROR);
        DisplayMsg(nx_msg(NX_SET_CONFIG, 10, "ParseConfigFile: Cannot open \"%s\": %s\n"), path,
                   std::strerror(error));
        return 0;
    }

    /* Whole blocks of the file per read: an installation runs to megabytes. */
    static char stream_buffer[65536];
    std::setvbuf(ConfigDes, stream_buffer, _IOFBF, sizeof stream_buffer);

    std::string lock_path = console_path(CONFIG_LOCK_PATH);
    if (!LockFileEx(LOCK_SHARED, lock_path.c_str())) {
        std::fclose(ConfigDes);
        ConfigDes = nullptr;
        return 0;
    }

    ParseConfig(ConfigDes);
    ReadTitleFile();
    SortNodeList();

    LockFileEx(LOCK_RELEASE, lock_path.c_str());
    std::fclose(ConfigDes);
    ConfigDes = nullptr;
    return 1;
}
