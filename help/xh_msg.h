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
 * for the life of the process.  A catalogue text whose printf conversions
 * differ from the fallback's is not used. */
const char *xh_catgets(int set, int num, const char *fallback) __attribute__((format_arg(3)));

/* Closes the catalogue; the next xh_catgets opens it again (for tests that
 * change the locale or the console root). */
void xh_CloseCatalogue();

/* Set numbers and message numbers of data/xhelp.msg; the built-in text of
 * each is written next to its use (and in data/xhelp.msg). */
enum xh_MsgSet { XH_SET_WINDOW = 1, XH_SET_NAMES = 2, XH_SET_GIF = 4 };

enum xh_WindowMsg {                     /* set 1 */
    XH_MSG_HELP_TITLE = 1,              /* "Help" */
    XH_MSG_NO_HELP = 2,                 /* "No Help is available" */
    XH_MSG_CANNOT_OPEN = 3,             /* "Cannot open help file \"%s\": %s" */
    XH_MSG_INDEX_CANNOT_OPEN = 4,       /* "Cannot open help file \"%.40s\": %.40s" */
    XH_MSG_INDEX_FILE = 5,              /* "Can't open index file %s." */
    XH_MSG_INDEX_NO_DIR = 6,            /* "No writable directory on search path" */
    XH_MSG_STACK_FULL = 7,              /* "Maximum allowed help files open, use BACK or QUIT to close files.\n" */
    XH_MSG_FONT_POSITION = 8,           /* "font_position(): Invalid Font Position %s." */
    XH_MSG_FONT_POSITION_DETAIL = 9,    /* "must be >= 0 and < 10. Line %d of %s\n" */
    XH_MSG_NO_PICTURE = 10,             /* "picture not found" */
    XH_MSG_PARSE_ERROR = 11,            /* "Error: %s (in help file %s Line %d)\n" */
    XH_MSG_WARNING = 12,                /* "WARNING: " */
    XH_MSG_ERROR = 13,                  /* "ERROR: " */
    XH_MSG_NO_INCLUDE = 14,             /* "XHELP include(): Cannot find include file \"%s\"\n" */
    XH_MSG_EARLY_REGISTER = 15,         /* "XHELP Error: Attempt to register topic %s, before help initialization\n" */
    XH_MSG_MAX_CONTEXTS = 16,           /* "XHELP RegisterHelpContext(): MaxContexts exceeded\n" */
    XH_MSG_TOKEN_TOO_LONG = 17,         /* "Input string too long, limit %d\n" */
    XH_MSG_INDEX_TOPIC = 21,            /* "Index" */
    XH_MSG_HELP_FONT = 22,              /* "6x10" */
    XH_MSG_NO_TOPIC = 27,               /* "Cannot find help topic \"%s\" in file \"%s\"" */
};

enum xh_NameMsg {                       /* set 2 */
    XH_MSG_PATH_VARIABLE = 5,           /* "XHELPPATH" */
    XH_MSG_LANG_VARIABLE = 6,           /* "LANG" */
    XH_MSG_NEXT_LABEL = 7,              /* "Next" */
    XH_MSG_PREV_LABEL = 8,              /* "Prev" */
    XH_MSG_BACK_LABEL = 9,              /* "Back" */
    XH_MSG_SEARCH_LABEL = 10,           /* "Search" */
    XH_MSG_QUIT_LABEL = 11,             /* "Quit" */
    XH_MSG_CMD_PREV_PAGE = 12,          /* "PREV_PAGE" */
    XH_MSG_CMD_NEXT_PAGE = 13,          /* "NEXT_PAGE" */
    XH_MSG_CMD_EXEC = 14,               /* "EXEC" */
    XH_MSG_CMD_QUIT = 15,               /* "QUIT" */
    XH_MSG_CMD_GOTO = 16,               /* "GOTO" */
};

enum xh_GifMsg {                        /* set 4 */
    XH_MSG_GIF_NOT_FOUND = 1,           /* "GIF file \"%s\" not found" */
    XH_MSG_GIF_NO_MEMORY = 2,           /* "not enough memory to read gif file" */
    XH_MSG_GIF_READ_FAILED = 3,         /* "GIF data read failed" */
    XH_MSG_GIF_NOT_GIF = 4,             /* "not a GIF file" */
    XH_MSG_GIF_BAD_SCREEN = 5,          /* "corrupt GIF file (bad screen descriptor)" */
    XH_MSG_GIF_NO_COLORMAP = 6,         /* "%s:  warning!  no colortable in this file.  Winging it.\n" */
    XH_MSG_GIF_NO_SEPARATOR = 7,        /* "corrupt GIF file (no image separator)" */
    XH_MSG_GIF_UNBLOCK = 8,             /* "corrupt GIF file (unblock)" */
    XH_MSG_GIF_NO_IMAGE_MEMORY = 9,     /* "not enough memory for XImage" */
    XH_MSG_GIF_NO_XIMAGE = 10,          /* "unable to create XImage" */
    XH_MSG_GIF_OUTCOUNT = 11,           /* "\nCorrupt GIF file (OutCount)!\n" */
    XH_MSG_GIF_STRIPPED = 12,           /* "%s:  %s stripped %d bits\n" */
    XH_MSG_GIF_NO_COLORS = 13,          /* "UTTERLY failed to allocate the desired colors.\n" */
    XH_MSG_GIF_STDIN = 14,              /* "<stdin>" */
    XH_MSG_GIF_SCREEN_DIMS = 15,        /* "screen dims: %dx%d.\n" */
    XH_MSG_GIF_READING = 16,            /* "Reading a %d by %d %sinterlaced image..." */
    XH_MSG_GIF_NON = 17,                /* "non-" */
    XH_MSG_GIF_IMAGE_INFO = 18,         /* "%s is %dx%d, %d bits per pixel, (%d colors).\n" */
    XH_MSG_GIF_DECOMPRESSING = 19,      /* "Decompressing..." */
    XH_MSG_GIF_SUMMARY = 20,            /* "%s:  %s is %dx%d, %d colors  " */
    XH_MSG_GIF_USED = 21,               /* "(of which %d are used)\n" */
    XH_MSG_GIF_DONE = 22,               /* "done.\n" */
};

#endif
