/*
 * xgifload.cpp - GIF pictures and bitmaps on help pages.
 *
 * LoadGIF reads a GIF87a file whole, decodes it (gifdecode.cpp), allocates
 * the display's colours for the colours the image uses (ColorDicking, which
 * drops low bits of every component until the colormap can hold them all)
 * and installs the resulting X image in the toolkit's image cache under the
 * file's name.  xh_CreateGifLabel and MyGetPixmap turn names into pixmaps
 * for the page actions.
 *
 * Images are built in the screen's depth: packed nibbles at depth 4, one
 * byte per pixel at depth 8, and the visual's own pixel format on deeper
 * screens, so that the toolkit can put the image into a pixmap of the
 * screen's depth.  Every name LoadGIF installed is remembered, so that a
 * picture shown again is taken from the cache rather than decoded again.
 */
#include "help/xgifload.h"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include <Xm/LabelG.h>
#include <Xm/Xm.h>

#include "base/motif_str.h"
#include "base/trace.h"
#include "help/gifdecode.h"
#include "help/help.h"
#include "help/xh_msg.h"

/* ---- constants ---------------------------------------------------------- */

namespace {

constexpr const char kStdinName[] = "-";
constexpr const char kSlantRight[] = "slant_right";
constexpr const char kPictureLabel[] = "gif_picture";
constexpr int kStripPasses = 8;
constexpr std::size_t kReadChunk = 65536;

/* Set 4 texts for faults of the compressed data itself. */
enum GifDataMsg {
    XH_MSG_GIF_BAD_CODE_SIZE = 23,      /* "corrupt GIF file (bad code size)" */
    XH_MSG_GIF_BAD_CODE = 24,           /* "corrupt GIF file (code past the table)" */
    XH_MSG_GIF_SHORT_DATA = 25,         /* "corrupt GIF file (image larger than its data)" */
};

/* The display a picture is made for: taken when an image is built. */
struct DisplayInfo {
    Display *display = nullptr;
    Screen *screen = nullptr;
    Colormap theCmap = None;
    Visual *visual = nullptr;
    int dispcells = 0;
    int theDepth = 0;
};

using Bytes = std::unique_ptr<std::uint8_t[], GifFreeDeleter>;

} // namespace

/* ---- module variables --------------------------------------------------- */

/* Names LoadGIF installed in the image cache. */
static std::set<std::string> installed_images;
/* The widget xh_CreateGifLabel works for (its display wins over xh_Toplevel's). */
static Widget picture_parent = nullptr;

/* ---- static prototypes -------------------------------------------------- */

static bool TakeDisplay(DisplayInfo &info);
static int ReadWholeFile(std::FILE *fp, bool seekable, Bytes &data, std::size_t &size);
static void ReportDecodeError(const char *fname, int rc);
static std::array<unsigned long, 256> ColorDicking(const char *fname, const GifPicture &pic, const DisplayInfo &d);
static XImage *BuildImage(GifPicture &pic, const std::array<unsigned long, 256> &cols, const DisplayInfo &d);
static std::string FindOnHelpPath(const char *name);

/* ---- LoadGIF ------------------------------------------------------------ */

XImage *LoadGIF(const char *file, int *width, int *height)
{
    const bool from_stdin = std::strcmp(file, kStdinName) == 0;
    const char *fname = from_stdin ? xh_catgets(XH_SET_GIF, XH_MSG_GIF_STDIN, "<stdin>") : file;

    /* 1. The whole file in memory. */
    std::FILE *fp = from_stdin ? stdin : std::fopen(file, "rb");
    if (fp == nullptr) {
        std::fprintf(stderr, xh_catgets(XH_SET_GIF, XH_MSG_GIF_NOT_FOUND, "GIF file \"%s\" not found"), fname);
        std::fputc('\n', stderr);
        return nullptr;
    }
    Bytes data;
    std::size_t size = 0;
    int read_rc = ReadWholeFile(fp, !from_stdin, data, size);
    if (!from_stdin)
        std::fclose(fp);
    if (read_rc != 0) {
        const char *text = read_rc == ENOMEM
            ? xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_MEMORY, "not enough memory to read gif file")
            : xh_catgets(XH_SET_GIF, XH_MSG_GIF_READ_FAILED, "GIF data read failed");
        std::fprintf(stderr, "%s: %s\n", fname, text);
        return nullptr;
    }

    /* 2.-9. Signature, descriptors, colour map, raster. */
    GifPicture pic;
    int rc = GifDecode(data.get(), size, pic);
    if (pic.screen_width != 0 || pic.screen_height != 0)
        xh_dprint(1, xh_catgets(XH_SET_GIF, XH_MSG_GIF_SCREEN_DIMS, "screen dims: %dx%d.\n"), pic.screen_width,
                  pic.screen_height);
    if (rc == GIFDEC_OK || rc < GIFDEC_UNBLOCK) {
        if (!pic.has_colour_map)
            std::fprintf(stderr,
                         xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_COLORMAP,
                                    "%s:  warning!  no colortable in this file.  Winging it.\n"),
                         fname);
        xh_dprint(1, xh_catgets(XH_SET_GIF, XH_MSG_GIF_READING, "Reading a %d by %d %sinterlaced image..."),
                  pic.width, pic.height, pic.interlace ? "" : xh_catgets(XH_SET_GIF, XH_MSG_GIF_NON, "non-"));
        xh_dprint(1, xh_catgets(XH_SET_GIF, XH_MSG_GIF_IMAGE_INFO, "%s is %dx%d, %d bits per pixel, (%d colors).\n"),
                  fname, pic.width, pic.height, pic.bits_per_pixel, pic.numcols);
        xh_dprint(1, "%s", xh_catgets(XH_SET_GIF, XH_MSG_GIF_DECOMPRESSING, "Decompressing..."));
    }
    data.reset();
    if (rc != GIFDEC_OK) {
        ReportDecodeError(fname, rc);
        return nullptr;
    }

    /* 10. Colours and the X image in the display's depth. */
    DisplayInfo d;
    if (!TakeDisplay(d)) {
        std::fprintf(stderr, "%s: %s\n", fname, xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_XIMAGE, "unable to create XImage"));
        return nullptr;
    }
    std::array<unsigned long, 256> cols = ColorDicking(fname, pic, d);
    XImage *image = BuildImage(pic, cols, d);
    if (image == nullptr) {
        std::fprintf(stderr, "%s: %s\n", fname, xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_XIMAGE, "unable to create XImage"));
        return nullptr;
    }

    /* 11. Into the image cache under the file's name. */
    if (!XmInstallImage(image, const_cast<char *>(file))) {
        xh_dprint(1, "LoadGIF: an image named %s is already installed\n", file);
        XDestroyImage(image);
        return nullptr;
    }
    installed_images.insert(file);
    xh_dprint(1, xh_catgets(XH_SET_GIF, XH_MSG_GIF_SUMMARY, "%s:  %s is %dx%d, %d colors  "),
              program_invocation_short_name, fname, pic.width, pic.height, pic.numcols);
    xh_dprint(1, xh_catgets(XH_SET_GIF, XH_MSG_GIF_USED, "(of which %d are used)\n"), pic.numused);
    xh_dprint(1, "%s", xh_catgets(XH_SET_GIF, XH_MSG_GIF_DONE, "done.\n"));
    *width = pic.width;
    *height = pic.height;
    return image;
}

/* Reads all of fp; 0, ENOMEM or EIO.  A seekable file is read at the size
 * found by seeking to its end; standard input in chunks until its end. */
static int ReadWholeFile(std::FILE *fp, bool seekable, Bytes &data, std::size_t &size)
{
    if (seekable && std::fseek(fp, 0, SEEK_END) == 0) {
        long end = std::ftell(fp);
        if (end < 0 || std::fseek(fp, 0, SEEK_SET) != 0)
            return EIO;
        size = static_cast<std::size_t>(end);
        data.reset(static_cast<std::uint8_t *>(std::malloc(size != 0 ? size : 1)));
        if (!data)
            return ENOMEM;
        return std::fread(data.get(), 1, size, fp) == size ? 0 : EIO;
    }
    size = 0;
    std::size_t capacity = 0;
    for (;;) {
        if (size == capacity) {
            capacity += kReadChunk;
            void *grown = std::realloc(data.get(), capacity);
            if (grown == nullptr)
                return ENOMEM;
            (void)data.release();
            data.reset(static_cast<std::uint8_t *>(grown));
        }
        std::size_t got = std::fread(data.get() + size, 1, capacity - size, fp);
        size += got;
        if (got == 0)
            return std::ferror(fp) ? EIO : 0;
    }
}

static void ReportDecodeError(const char *fname, int rc)
{
    const char *text = nullptr;
    switch (rc) {
    case GIFDEC_NOT_GIF:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_NOT_GIF, "not a GIF file");
        break;
    case GIFDEC_BAD_SCREEN:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_BAD_SCREEN, "corrupt GIF file (bad screen descriptor)");
        break;
    case GIFDEC_NO_SEPARATOR:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_SEPARATOR, "corrupt GIF file (no image separator)");
        break;
    case GIFDEC_UNBLOCK:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_UNBLOCK, "corrupt GIF file (unblock)");
        break;
    case GIFDEC_BAD_CODE_SIZE:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_BAD_CODE_SIZE, "corrupt GIF file (bad code size)");
        break;
    case GIFDEC_BAD_CODE:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_BAD_CODE, "corrupt GIF file (code past the table)");
        break;
    case GIFDEC_SHORT_DATA:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_SHORT_DATA, "corrupt GIF file (image larger than its data)");
        break;
    case GIFDEC_OUT_COUNT:
        /* The one fault that ends the program. */
        std::fprintf(stderr, "%s", xh_catgets(XH_SET_GIF, XH_MSG_GIF_OUTCOUNT, "\nCorrupt GIF file (OutCount)!\n"));
        std::fflush(stderr);
        std::exit(255);
    default:
        text = xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_IMAGE_MEMORY, "not enough memory for XImage");
        break;
    }
    std::fprintf(stderr, "%s: %s\n", fname, text);
}

/* ---- colours ------------------------------------------------------------ */

static bool TakeDisplay(DisplayInfo &info)
{
    Widget w = picture_parent != nullptr ? picture_parent : xh_Toplevel;
    if (w == nullptr)
        return false;
    info.display = XtDisplay(w);
    info.screen = XtScreen(w);
    info.theCmap = DefaultColormapOfScreen(info.screen);
    info.visual = DefaultVisualOfScreen(info.screen);
    info.dispcells = CellsOfScreen(info.screen);
    info.theDepth = DefaultDepthOfScreen(info.screen);
    return true;
}

/* Colour allocation by progressive bit stripping: returns the pixel value
 * of every colour index. */
static std::array<unsigned long, 256> ColorDicking(const char *fname, const GifPicture &pic, const DisplayInfo &d)
{
    std::array<unsigned long, 256> cols{};
    for (int i = 0; i < 256; ++i)
        cols[i] = static_cast<unsigned long>(i);
    if (!pic.has_colour_map)
        return cols;

    std::array<unsigned long, 256> allocated{};
    for (int strip = 0; strip < kStripPasses; ++strip) {
        const unsigned mask = (0xFFu << strip) & 0xFFu;
        int count = 0;
        bool failed = false;
        for (int i = 0; i < 256 && !failed; ++i) {
            if (!pic.used[i])
                continue;
            /* An index past the map has no colour of its own: black. */
            GifColour c = i < pic.numcols ? pic.colours[i] : GifColour{0, 0, 0};
            XColor colour{};
            colour.red = static_cast<unsigned short>((c.red & mask) << 8);
            colour.green = static_cast<unsigned short>((c.green & mask) << 8);
            colour.blue = static_cast<unsigned short>((c.blue & mask) << 8);
            colour.flags = DoRed | DoGreen | DoBlue;
            if (XAllocColor(d.display, d.theCmap, &colour) == 0) {
                failed = true;
            } else {
                cols[i] = colour.pixel;
                allocated[count++] = colour.pixel;
            }
        }
        if (!failed) {
            if (strip > 0)
                std::fprintf(stderr, xh_catgets(XH_SET_GIF, XH_MSG_GIF_STRIPPED, "%s:  %s stripped %d bits\n"),
                             program_invocation_short_name, fname, strip);
            return cols;
        }
        if (count > 0)
            XFreeColors(d.display, d.theCmap, allocated.data(), count, 0);
    }
    std::fprintf(stderr, "%s",
                 xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_COLORS, "UTTERLY failed to allocate the desired colors.\n"));
    for (int i = 0; i < 256; ++i)
        cols[i] = static_cast<unsigned long>(i);
    return cols;
}

/* The X image of the decoded pixels: depth 4 packs two pixels per byte
 * (first in the low nibble) and depth 8 converts the bytes in place; deeper
 * screens get an image in the visual's pixel format. */
static XImage *BuildImage(GifPicture &pic, const std::array<unsigned long, 256> &cols, const DisplayInfo &d)
{
    const int w = pic.width, h = pic.height;
    std::uint8_t *pixels = pic.pixels.get();
    if (d.theDepth <= 8) {
        const int depth = d.theDepth == 4 ? 4 : 8;
        const int bytes_per_line = depth == 4 ? (w + 1) / 2 : w;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t *in = pixels + static_cast<std::size_t>(y) * w;
            std::uint8_t *out = pixels + static_cast<std::size_t>(y) * bytes_per_line;
            if (depth == 8) {
                for (int x = 0; x < w; ++x)
                    out[x] = static_cast<std::uint8_t>(cols[in[x]]);
                continue;
            }
            for (int x = 0; x < w; x += 2) {
                unsigned low = cols[in[x]] & 0x0F;
                unsigned high = x + 1 < w ? cols[in[x + 1]] & 0x0F : 0;
                out[x / 2] = static_cast<std::uint8_t>(low | (high << 4));
            }
        }
        XImage *image = XCreateImage(d.display, d.visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                     reinterpret_cast<char *>(pixels), static_cast<unsigned>(w),
                                     static_cast<unsigned>(h), 8, bytes_per_line);
        if (image != nullptr)
            (void)pic.pixels.release();   /* the image frees it */
        return image;
    }

    XImage *image = XCreateImage(d.display, d.visual, static_cast<unsigned>(d.theDepth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
    if (image == nullptr)
        return nullptr;
    image->data = static_cast<char *>(std::malloc(static_cast<std::size_t>(image->bytes_per_line) * h));
    if (image->data == nullptr) {
        std::fprintf(stderr, "%s\n", xh_catgets(XH_SET_GIF, XH_MSG_GIF_NO_IMAGE_MEMORY, "not enough memory for XImage"));
        XDestroyImage(image);
        return nullptr;
    }
    const bool native32 = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t *in = pixels + static_cast<std::size_t>(y) * w;
        if (native32) {
            auto *out = reinterpret_cast<std::uint32_t *>(image->data + static_cast<std::size_t>(y) * image->bytes_per_line);
            for (int x = 0; x < w; ++x)
                out[x] = static_cast<std::uint32_t>(cols[in[x]]);
        } else {
            for (int x = 0; x < w; ++x)
                XPutPixel(image, x, y, cols[in[x]]);
        }
    }
    return image;
}

/* ---- pictures on pages -------------------------------------------------- */

/* The path of a readable file `name` on the help path (or the name itself
 * when absolute); empty when there is none. */
static std::string FindOnHelpPath(const char *name)
{
    /* xh_Search reads the path on first use and tells whether the file is
     * anywhere on it. */
    std::FILE *fp = xh_Search(name);
    if (fp == nullptr)
        return std::string();
    std::fclose(fp);
    if (name[0] == '/')
        return name;
    for (int i = 0; i < xh_DirectoryCount; ++i) {
        std::string candidate = xh_DirectoryList[i] + "/" + name;
        if (access(candidate.c_str(), R_OK) == 0)
            return candidate;
    }
    return std::string();
}

Widget xh_CreateGifLabel(Widget parent, const char *file)
{
    Pixel foreground = 0, background = 0;
    XtVaGetValues(parent, XmNforeground, &foreground, XmNbackground, &background, nullptr);
    Screen *screen = XtScreen(parent);

    Pixmap pixmap = XmGetPixmap(screen, const_cast<char *>(file), foreground, background);
    if (pixmap == XmUNSPECIFIED_PIXMAP) {
        std::string path = FindOnHelpPath(file);
        if (path.empty()) {
            std::fprintf(stderr, xh_catgets(XH_SET_GIF, XH_MSG_GIF_NOT_FOUND, "GIF file \"%s\" not found"), file);
            std::fputc('\n', stderr);
        } else {
            int width = 0, height = 0;
            bool ready = installed_images.count(path) != 0;
            if (!ready) {
                picture_parent = parent;
                ready = LoadGIF(path.c_str(), &width, &height) != nullptr;
                picture_parent = nullptr;
            }
            if (ready)
                pixmap = XmGetPixmap(screen, xs(path), foreground, background);
        }
    }

    if (pixmap != XmUNSPECIFIED_PIXMAP)
        return XtVaCreateManagedWidget(kPictureLabel, xmLabelGadgetClass, parent, XmNlabelType, XmPIXMAP,
                                       XmNlabelPixmap, pixmap, nullptr);
    XmString text = XmStringCreateLocalized(xs(xh_catgets(XH_SET_WINDOW, XH_MSG_NO_PICTURE, "picture not found")));
    Widget label = XtVaCreateManagedWidget(kPictureLabel, xmLabelGadgetClass, parent, XmNlabelType, XmSTRING,
                                           XmNlabelString, text, nullptr);
    XmStringFree(text);
    return label;
}

Pixmap MyGetPixmap(Screen *screen, const char *name, Pixel foreground, Pixel background)
{
    Pixmap pixmap = XmGetPixmap(screen, const_cast<char *>(name), foreground, background);
    if (pixmap == XmUNSPECIFIED_PIXMAP && name[0] != '/') {
        std::string path = FindOnHelpPath(name);
        if (!path.empty())
            pixmap = XmGetPixmap(screen, xs(path), foreground, background);
    }
    if (pixmap == XmUNSPECIFIED_PIXMAP)
        pixmap = XmGetPixmap(screen, const_cast<char *>(kSlantRight), foreground, background);
    return pixmap;
}
