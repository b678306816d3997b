/*
 * xh_msg.h - texts of the help system from its message catalogue "xhelp"
 * (built with gencat from data/xhelp.msg).  The catalogue is opened on first
 * use, after the locale has been set from the environment; a missing
 * catalogue or entry yields the built-in text given by the caller.
 *
 * Sets: 1 texts of the help window and its boxes, 2 names (environment
 * variable, button labels, command labels), 4 the GIF loader's messages.
 */
#ifndef XR_HELP_XH_MSG_H
#define XR_HELP_XH_MSG_H

/* Text number `num` of set `set`, or `fallback`.  The pointer stays valid
 * for the life of the process. */
const char *xh_catgets(int set, int num, const char *fallback);

#endif
