/*
 * x_session.cpp - windows by title, XTest input and PNG screenshots (written
 * with zlib) for the tests that drive X (see x_session.h).
 */
#include <gtest/gtest.h>

#include "tests/support/x_session.h"

#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <zlib.h>

namespace xsession {

namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

unsigned channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        shift++;
    }
    return static_cast<unsigned>(((pixel >> shift) & mask) * 255 / mask);
}

void put_chunk(FILE *out, const char type[4], const unsigned char *data, std::size_t size)
{
    unsigned char length[4] = {static_cast<unsigned char>(size >> 24), static_cast<unsigned char>(size >> 16),
                               static_cast<unsigned char>(size >> 8), static_cast<unsigned char>(size)};
    std::fwrite(length, 1, 4, out);
    std::fwrite(type, 1, 4, out);
    if (size > 0)
        std::fwrite(data, 1, size, out);
    uLong crc = crc32(0L, reinterpret_cast<const Bytef *>(type), 4);
    if (size > 0)
        crc = crc32(crc, data, static_cast<uInt>(size));
    unsigned char crc_bytes[4] = {static_cast<unsigned char>(crc >> 24), static_cast<unsigned char>(crc >> 16),
                                  static_cast<unsigned char>(crc >> 8), static_cast<unsigned char>(crc)};
    std::fwrite(crc_bytes, 1, 4, out);
}

/* An 8-bit RGB PNG: every row with filter type 0, one zlib stream. */
bool write_png(const std::string &path, int width, int height, const std::vector<unsigned char> &rgb)
{
    std::size_t row = static_cast<std::size_t>(width) * 3;
    std::vector<unsigned char> raw;
    raw.reserve((row + 1) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; y++) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(y)),
                   rgb.begin() + static_cast<std::ptrdiff_t>(row * static_cast<std::size_t>(y + 1)));
    }
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::vector<unsigned char> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
        return false;

    FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    unsigned char header[13] = {
        static_cast<unsigned char>(width >> 24), static_cast<unsigned char>(width >> 16),
        static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width),
        static_cast<unsigned char>(height >> 24), static_cast<unsigned char>(height >> 16),
        static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
        8, 2, 0, 0, 0, /* depth 8, RGB, deflate, no filter method, no interlace */
    };
    std::fwrite(kPngSignature, 1, sizeof kPngSignature, out);
    put_chunk(out, "IHDR", header, sizeof header);
    put_chunk(out, "IDAT", packed.data(), packed_size);
    put_chunk(out, "IEND", nullptr, 0);
    return std::fclose(out) == 0;
}

} // namespace

bool save_screen_png(Display *display, const std::string &path)
{
    if (display == nullptr || path.empty())
        return false;
    Screen *screen = DefaultScreenOfDisplay(display);
    int width = WidthOfScreen(screen), height = HeightOfScreen(screen);
    XImage *image = XGetImage(display, RootWindowOfScreen(screen), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    Visual *visual = DefaultVisualOfScreen(screen);
    std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    std::size_t at = 0;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            unsigned long pixel = XGetPixel(image, x, y);
            rgb[at++] = static_cast<unsigned char>(channel(pixel, visual->red_mask));
            rgb[at++] = static_cast<unsigned char>(channel(pixel, visual->green_mask));
            rgb[at++] = static_cast<unsigned char>(channel(pixel, visual->blue_mask));
        }
    }
    XDestroyImage(image);
    return write_png(path, width, height, rgb);
}


std::string artifact_path(const std::string &name)
{
    const char *dir = std::getenv("XR_ARTIFACTS");
    if (dir == nullptr || *dir == '\0')
        return "";
    std::string file = name;
    for (char &c : file)
        if (c == '/')
            c = '_';
    return std::string(dir) + "/" + file + ".png";
}

namespace {

using Clock = std::chrono::steady_clock;
constexpr milliseconds kPollStep{20};

/* Depth-first search below `parent` for a viewable window named `title`. */
Window find_named(Display *display, Window parent, const std::string &title, int depth)
{
    Window root_return, parent_return;
    Window *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &root_return, &parent_return, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        char *name = nullptr;
        XWindowAttributes attributes;
        if (XFetchName(display, children[i], &name) && name != nullptr) {
            if (title == name && XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable)
                found = children[i];
            XFree(name);
        }
        if (found == 0 && depth > 0)
            found = find_named(display, children[i], title, depth - 1);
    }
    if (children != nullptr)
        XFree(children);
    return found;
}

} // namespace

/* ---- XSession ------------------------------------------------------------ */

XSession::XSession() : display_(XOpenDisplay(nullptr)) {}

XSession::~XSession()
{
    if (display_ != nullptr)
        XCloseDisplay(display_);
}

Window XSession::wait_for_window(const std::string &title, milliseconds timeout, ChildProcess *owner)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        Window found = find_named(display_, DefaultRootWindow(display_), title, 2);
        if (found != 0)
            return found;
        if (Clock::now() >= deadline)
            return 0;
        if (owner != nullptr) {
            if (!owner->running())
                return 0;
            owner->drain(kPollStep);
        } else {
            struct pollfd none {ConnectionNumber(display_), 0, 0};
            poll(&none, 1, static_cast<int>(kPollStep.count()));
        }
    }
}

bool XSession::press_return_in(Window window)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window, &attributes))
        return false;
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), attributes.width / 2,
                          attributes.height / 2, &x, &y, &child);
    KeyCode key = XKeysymToKeycode(display_, XK_Return);
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XTestFakeKeyEvent(display_, key, True, CurrentTime);
    XTestFakeKeyEvent(display_, key, False, CurrentTime);
    XSync(display_, False);
    return true;
}

void XSession::screenshot_failed_test()
{
    const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string path = artifact_path(std::string(info->test_suite_name()) + "." + info->name());
    if (save_screen_png(display_, path))
        std::printf("screenshot: %s\n", path.c_str());
}

} // namespace xsession
