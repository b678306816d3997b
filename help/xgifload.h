/*
 * xgifload.h - pictures on help pages: GIF images through LoadGIF and the
 * toolkit's image cache, X bitmaps through MyGetPixmap.
 *
 * Callers: the page actions (xh_AddGifFile, xh_AddBitmapFile).  Messages
 * come from set 4 of the "xhelp" catalogue and go to standard error; the
 * progress lines only when xh_debug is on.
 */
#ifndef XR_HELP_XGIFLOAD_H
#define XR_HELP_XGIFLOAD_H

#include <X11/Intrinsic.h>
#include <X11/Xlib.h>

/* Decodes the GIF87a file `file` ("-": standard input) into an X image in
 * the display's colours and installs it in the toolkit's image cache under
 * `file`, so that XmGetPixmap(screen, file, ...) yields it.  Returns the
 * image (owned by the cache) with its size in *width and *height, or null
 * after printing why.  The display is the one of xh_Toplevel, or of the
 * widget xh_CreateGifLabel is working for.  A code expanding to more than
 * the output stack holds ends the process with status 255 after its
 * message. */
XImage *LoadGIF(const char *file, int *width, int *height);

/* A label gadget "gif_picture" (created managed) under `parent` showing the
 * GIF `file`, looked up in the image cache first and otherwise found on the
 * help path and loaded once; without a picture its text is "picture not
 * found". */
Widget xh_CreateGifLabel(Widget parent, const char *file);

/* The pixmap of `name` in the given colours: the toolkit's lookup of the
 * name; for a relative name it cannot resolve, the lookup of the file found
 * on the help path; if still unresolved, the toolkit's "slant_right". */
Pixmap MyGetPixmap(Screen *screen, const char *name, Pixel foreground, Pixel background);

#endif
