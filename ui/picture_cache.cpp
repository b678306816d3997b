/*
 * picture_cache.cpp - the picture pixmaps (see picture_cache.h).
 *
 * Each file is read once and installed as an image in the toolkit's image
 * cache under its path; the toolkit then draws a pixmap per colour pair from
 * that image without touching the file or the server's colour table, and
 * keeps the pixmap with its size, so that labels showing it need not ask
 * the server for its geometry.
 */
#include "ui/picture_cache.h"

#include <map>
#include <string>

#include <X11/Xutil.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "base/trace.h"

namespace {

/* Path -> whether the file was read and installed. */
std::map<std::string, bool> &installed()
{
    static std::map<std::string, bool> files;
    return files;
}

/* Reads an X bitmap file into a one-bit image laid out as the file's bits
 * are (bytes of eight pixels, least significant bit first) and installs it
 * under its path.  The image and its bits stay for the program's life: the
 * toolkit's cache refers to them. */
bool install(Screen *screen, const std::string &path)
{
    unsigned width = 0, height = 0;
    unsigned char *bits = nullptr;
    int hot_x = 0, hot_y = 0;
    if (XReadBitmapFileData(path.c_str(), &width, &height, &bits, &hot_x, &hot_y) != BitmapSuccess) {
        dprint(3, "GetPicturePixmap: %s is not a readable X bitmap\n", path.c_str());
        return false;
    }
    XImage *image = XCreateImage(DisplayOfScreen(screen), DefaultVisualOfScreen(screen), 1, XYBitmap, 0,
                                 reinterpret_cast<char *>(bits), width, height, 8, static_cast<int>((width + 7) / 8));
    if (image == nullptr) {
        XFree(bits);
        return false;
    }
    image->byte_order = LSBFirst;
    image->bitmap_unit = 8;
    image->bitmap_bit_order = LSBFirst;
    if (XInitImage(image) == 0 || !XmInstallImage(image, xs(path))) {
        XDestroyImage(image);
        return false;
    }
    return true;
}

} // namespace

extern "C" Pixmap GetPicturePixmap(Screen *screen, const char *path, Pixel foreground, Pixel background)
{
    if (screen == nullptr || path == nullptr)
        return XmUNSPECIFIED_PIXMAP;
    auto [entry, added] = installed().try_emplace(path, false);
    if (added)
        entry->second = install(screen, entry->first);
    if (!entry->second)
        return XmUNSPECIFIED_PIXMAP;
    return XmGetPixmap(screen, xs(entry->first), foreground, background);
}
