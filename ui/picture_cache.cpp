/*
 * picture_cache.cpp - the picture pixmaps (see picture_cache.h).
 */
#include "ui/picture_cache.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include <X11/Xutil.h>
#include <Xm/Xm.h>

#include "base/trace.h"

namespace {

struct XFreeDeleter {
    void operator()(unsigned char *data) const { XFree(data); }
};

/* A picture file as read: its bits, or nothing when it could not be read. */
struct Bitmap {
    std::unique_ptr<unsigned char, XFreeDeleter> bits;
    unsigned width = 0;
    unsigned height = 0;
};

using PixmapKey = std::tuple<Screen *, std::string, Pixel, Pixel>;

std::map<std::string, Bitmap> &bitmaps()
{
    static std::map<std::string, Bitmap> files;
    return files;
}

std::map<PixmapKey, Pixmap> &pixmaps()
{
    static std::map<PixmapKey, Pixmap> drawn;
    return drawn;
}

const Bitmap &bitmap_of(const std::string &path)
{
    auto [entry, added] = bitmaps().try_emplace(path);
    if (!added)
        return entry->second;
    unsigned char *bits = nullptr;
    int hot_x = 0, hot_y = 0;
    Bitmap &bitmap = entry->second;
    if (XReadBitmapFileData(path.c_str(), &bitmap.width, &bitmap.height, &bits, &hot_x, &hot_y) == BitmapSuccess)
        bitmap.bits.reset(bits);
    else
        dprint(3, "GetPicturePixmap: %s is not a readable X bitmap\n", path.c_str());
    return bitmap;
}

} // namespace

extern "C" Pixmap GetPicturePixmap(Screen *screen, const char *path, Pixel foreground, Pixel background)
{
    if (screen == nullptr || path == nullptr)
        return XmUNSPECIFIED_PIXMAP;
    auto [entry, added] = pixmaps().try_emplace(PixmapKey{screen, path, foreground, background}, XmUNSPECIFIED_PIXMAP);
    if (!added)
        return entry->second;
    const Bitmap &bitmap = bitmap_of(path);
    if (bitmap.bits != nullptr)
        entry->second = XCreatePixmapFromBitmapData(DisplayOfScreen(screen), RootWindowOfScreen(screen),
                                                    reinterpret_cast<char *>(bitmap.bits.get()), bitmap.width,
                                                    bitmap.height, foreground, background,
                                                    static_cast<unsigned>(DefaultDepthOfScreen(screen)));
    return entry->second;
}
