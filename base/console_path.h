/*
 * console_path.h - the one place where fixed installation paths are resolved.
 *
 * Every path of the installation (/var/console, /opt/console, /usr/boot/cmic,
 * /usr/sbin, /tmp) is written in the code exactly as the installation names it
 * and passed through console_path().  When the environment variable
 * CONSOLE_ROOT is set, its value is put in front, so that the demo and the
 * tests run against a private tree; unset or empty, the path is unchanged.
 */
#ifndef XR_BASE_CONSOLE_PATH_H
#define XR_BASE_CONSOLE_PATH_H

#include <cstddef>
#include <string>
#include <string_view>

std::string console_path(std::string_view fixed_path);

/* The folder of icons, chassis pictures and status indicators, as the
 * installation names it; pass the joined path through console_path() when
 * the file is read.  A macro so that tables can join it with a file name at
 * compile time: CONSOLE_ICONS "FAN.tsl". */
#define CONSOLE_ICONS "/opt/console/icons/"

/* console_path() into a caller's buffer, without allocating (for paths
 * needed when memory has run out).  false when the path does not fit; the
 * buffer then holds an empty string. */
bool console_path_into(char *buffer, std::size_t size, std::string_view fixed_path);

/* The root in force ("" when CONSOLE_ROOT is unset). */
std::string_view console_root();

#endif
