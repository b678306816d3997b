/*
 * parsecfg.h - the configuration file parser.
 *
 * The file is plain text read in lines of at most 79 characters (a longer
 * line is read as two).  "#" starts a comment line, an empty line is
 * skipped; every other line is a statement recognised by its first
 * characters: "SET key=value", "TYPE_RECORD name=<type>\ticon=<path>", and
 * "NODE_RECORD" followed by key=value lines up to a line starting "END".
 * The parser fills the node list and type list (config.h) and the settings
 * table (table.h).  read_config_file (read_config.h) is its entry point.
 */
#ifndef XR_CONFIG_PARSECFG_H
#define XR_CONFIG_PARSECFG_H

#include <cstdio>

/* Size of the line buffer: a line holds at most 79 characters and its
 * newline; a longer one is read as several. */
constexpr int CONFIG_LINE_SIZE = 80;

/* Installation paths (resolved through console_path). */
constexpr const char *CONFIG_FILE_PATH = "/var/console/nxs.config";
constexpr const char *CONFIG_LOCK_PATH = "/var/console/lock.nxs.config";

/* The stream being parsed (null outside ParseConfigFile). */
extern FILE *ConfigDes;
/* Number of the line being read, for messages. */
extern int LineNumber;
/* 1 once the host-type table has been built during this parse. */
extern int First_NodeRecord;

/* The file ParseConfigFile reads: set by read_config_file; until then the
 * installation's file. */
const char *ConfigFilePath();
void SetConfigFilePath(const char *path);

/* Opens the file, takes the read lock, parses, reads the title file, sorts
 * the node list, releases the lock.  1 on success, 0 when the file could
 * not be opened or locked (with a message). */
int ParseConfigFile();

/* The statement loop over an open stream: empties the node list, type list
 * and host-type table first.  Returns the number of nodes listed. */
int ParseConfig(FILE *stream);

/* Builds a node from the key/value pairs of the record just read and lists
 * it (replacing a node of the same name).  Returns its index, or -1 when it
 * was dropped. */
int AddNode();

#endif
