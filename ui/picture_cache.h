/*
 * picture_cache.h - the pixmaps of the installation's picture files (the
 * X bitmaps under the console's icon folder) in given colours.
 *
 * Every status icon, component picture and dialog symbol of the program
 * comes from here.  Each file is read once per process and each (file,
 * colours) pair drawn once per screen; later requests return the same
 * pixmap, which stays for the life of the program (widgets share them, so
 * none is ever freed).  Given the file's name, the toolkit read and probed
 * the file again for every new colour pair and waited for the server at
 * each one, which made the pictures a large part of start-up.
 */
#ifndef XR_UI_PICTURE_CACHE_H
#define XR_UI_PICTURE_CACHE_H

#include <X11/Intrinsic.h>

/* The pixmap of the X bitmap file `path` (a full path) with its set bits in
 * `foreground` and the others in `background`, at the screen's default
 * depth; XmUNSPECIFIED_PIXMAP when the file cannot be read as an X bitmap.
 * C linkage, so that a test can wrap it at link time. */
extern "C" Pixmap GetPicturePixmap(Screen *screen, const char *path, Pixel foreground, Pixel background);

#endif
