/*
 * help.h - entry points of the hypertext help system that the rest of the
 * program calls: the parent of help windows (xh_Toplevel), the help search
 * path, the information box that reports every help failure, and
 * Help(file, topic).
 *
 * Callers: the dialog utilities (ModalHelpCB, DisplayHelpCB), the cabinet
 * window's Help button, the help key.  Help() shows the topic in the help
 * window (help/window.cpp).
 */
#ifndef XR_HELP_HELP_H
#define XR_HELP_HELP_H

#include <array>
#include <cstdio>
#include <string>

#include <X11/Intrinsic.h>

/* At most this many directories are taken from XHELPPATH. */
constexpr int XH_MAX_DIRECTORIES = 20;

/* Parent of the help window and of the help system's information boxes. */
extern Widget xh_Toplevel;

/* The help search path: xh_DirectoryCount entries of xh_DirectoryList. */
extern std::array<std::string, XH_MAX_DIRECTORIES> xh_DirectoryList;
extern int xh_DirectoryCount;

/* Fills the help path from a colon-separated list: empty entries are
 * skipped, entries beyond XH_MAX_DIRECTORIES ignored, and the first "%L" of
 * each entry replaced by `lang` (nothing when lang is null).  A null list
 * leaves the path empty. */
void xh_SetHelpPath(const char *path_list, const char *lang);

/* xh_SetHelpPath from the environment variables XHELPPATH and LANG.
 * Without XHELPPATH (unset or empty) the path is
 * "/opt/console/help/%L:/opt/console/help" under the console root. */
void xh_ReadHelpPath();

/* Opens a help file for reading: an absolute name as given, otherwise each
 * path directory in order as "%s/%s".  Null when found nowhere, with errno
 * telling why (ENOENT when the path is empty).  The caller closes the file. */
FILE *xh_Search(const char *name);

/* Information box titled `title`, showing `text` and, when given, `detail`
 * on the next line, with the font escapes of page text ("\fN", "\fP") in
 * the fonts of the help file being read; only its OK button is shown, and
 * OK destroys it.  It is a popup of the outermost shell above xh_Toplevel.
 * Returns the message box (null without a parent, in which case the text
 * goes to standard error). */
Widget xh_InformationMessage(const char *title, const char *text, const char *detail);

/* Opens the help page `topic` of help file `file` in the help window; a
 * file opened while another is shown is nested (Back returns to it).
 * Failures are information boxes titled "Help". */
void Help(const char *file, const char *topic);

#endif
