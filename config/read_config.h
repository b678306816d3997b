/*
 * read_config.h - reading (and re-reading) the configuration file.
 *
 * Start-up reads the file once; the FRU procedures re-read it before power
 * operations.  Every read frees the whole previous model first.
 */
#ifndef XR_CONFIG_READ_CONFIG_H
#define XR_CONFIG_READ_CONFIG_H

/* Reads the configuration file `name` (null: the installation's file):
 * frees every node, re-initialises the settings table, parses.  At debug
 * level 1 lists the nodes read.  0 when the file was read, 1 when it could
 * not be opened or locked (the node list is then empty). */
int read_config_file(const char *name);

/* Frees everything the configuration holds (nodes, types, settings, the
 * host-type table): for a clean exit and for leak checks. */
void FreeConfiguration();

#endif
