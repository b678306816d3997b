/*
 * x_session.cpp - windows by title, XTest input and PNG screenshots (written
 * with zlib) for the tests that drive X (see x_session.h).
 */
#include <gtest/gtest.h>

#include "tests/support/x_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <zlib.h>

namespace xsession {

namespace {

unsigned channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    for (; !(mask & 1); mask >>= 1)
        shift++;
    return static_cast<unsigned>(((pixel >> shift) & mask) * 255 / mask);
}

void put_u32(std::string &out, unsigned long value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

/* One PNG chunk: length, type and data, and the CRC of type and data. */
void put_chunk(std::string &out, const std::string &type_and_data)
{
    put_u32(out, type_and_data.size() - 4);
    out += type_and_data;
    put_u32(out, crc32(0L, reinterpret_cast<const Bytef *>(type_and_data.data()),
                       static_cast<uInt>(type_and_data.size())));
}

/* The children of `window` on the server, bottom to top. */
std::vector<Window> children_of(Display *display, Window window)
{
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) && children != nullptr) {
        found.assign(children, children + count);
        XFree(children);
    }
    return found;
}

bool viewable(Display *display, Window window, XWindowAttributes *attributes)
{
    return XGetWindowAttributes(display, window, attributes) && attributes->map_state == IsViewable;
}

/* The deepest window of `top` under the screen point (x, y). */
Window window_at(Display *display, Window top, int x, int y)
{
    for (Window window = top;;) {
        int wx = 0, wy = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, DefaultRootWindow(display), window, x, y, &wx, &wy, &child) || child == 0)
            return window;
        window = child;
    }
}

} // namespace

/* An 8-bit RGB PNG: every row with filter type 0, one zlib stream. */
bool save_screen_png(Display *display, const std::string &path)
{
    if (display == nullptr || path.empty())
        return false;
    Screen *screen = DefaultScreenOfDisplay(display);
    const int width = WidthOfScreen(screen), height = HeightOfScreen(screen);
    XImage *image = XGetImage(display, RootWindowOfScreen(screen), 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr)
        return false;
    const Visual *visual = DefaultVisualOfScreen(screen);
    std::string raw;
    for (int y = 0; y < height; y++) {
        raw += '\0';
        for (int x = 0; x < width; x++) {
            const unsigned long pixel = XGetPixel(image, x, y);
            for (unsigned long mask : {visual->red_mask, visual->green_mask, visual->blue_mask})
                raw += static_cast<char>(channel(pixel, mask));
        }
    }
    XDestroyImage(image);
    uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packed_size, '\0');
    if (compress2(reinterpret_cast<Bytef *>(packed.data()), &packed_size, reinterpret_cast<const Bytef *>(raw.data()),
                  static_cast<uLong>(raw.size()), 6) != Z_OK)
        return false;
    packed.resize(packed_size);
    std::string png = "\x89PNG\r\n\x1a\n", header = "IHDR";
    put_u32(header, static_cast<unsigned long>(width));
    put_u32(header, static_cast<unsigned long>(height));
    header += std::string("\x08\x02\0\0\0", 5); /* depth 8, RGB, deflate, no filter method, no interlace */
    put_chunk(png, header);
    put_chunk(png, "IDAT" + packed);
    put_chunk(png, "IEND");
    FILE *out = std::fopen(path.c_str(), "wb");
    if (out == nullptr)
        return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), out) == png.size();
    return std::fclose(out) == 0 && written;
}

std::string artifact_path(const std::string &name)
{
    const char *dir = std::getenv("XR_ARTIFACTS");
    if (dir == nullptr || *dir == '\0')
        return "";
    std::string file = name;
    std::replace(file.begin(), file.end(), '/', '_');
    return std::string(dir) + "/" + file + ".png";
}

std::vector<Window> windows_titled(Display *display, const std::string &title)
{
    std::vector<Window> found;
    for (Window window : children_of(display, DefaultRootWindow(display))) {
        XWindowAttributes attributes;
        char *name = nullptr;
        if (viewable(display, window, &attributes) && XFetchName(display, window, &name) && name != nullptr &&
            title == name)
            found.push_back(window);
        if (name != nullptr)
            XFree(name);
    }
    return found;
}

void click_at(Display *display, int x, int y)
{
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
}

ScreenBox screen_box(Display *display, Window window)
{
    ScreenBox box;
    XWindowAttributes attributes;
    Window child;
    if (XGetWindowAttributes(display, window, &attributes)) {
        XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &box.x, &box.y, &child);
        box.width = attributes.width;
        box.height = attributes.height;
    }
    return box;
}

/* A point at the middle of the window's top edge, just inside, lies on the
 * menu bar itself, between its buttons (Help sits at the right end). */
std::vector<Window> menu_bar_buttons(Display *display, Window shell)
{
    ScreenBox box = screen_box(display, shell);
    std::vector<Window> buttons = children_of(display, window_at(display, shell, box.x + box.width / 2, box.y + 4));
    std::sort(buttons.begin(), buttons.end(),
              [display](Window a, Window b) { return screen_box(display, a).x < screen_box(display, b).x; });
    return buttons;
}

/* The toolkit keeps another override-redirect window off the screen. */
Window posted_menu(Display *display)
{
    Window found = 0;
    for (Window window : children_of(display, DefaultRootWindow(display))) {
        XWindowAttributes attributes;
        if (viewable(display, window, &attributes) && attributes.override_redirect && attributes.x >= 0 &&
            attributes.y >= 0 && attributes.width > 1)
            found = window;
    }
    return found;
}

XSession::~XSession()
{
    if (display_ != nullptr)
        XCloseDisplay(display_);
}

Window XSession::wait_for_windows(const std::string &title, std::size_t count, milliseconds timeout,
                                  ChildProcess &owner)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (owner.running() && std::chrono::steady_clock::now() < deadline) {
        std::vector<Window> found = windows_titled(display_, title);
        if (found.size() == count)
            return found.back();
        owner.drain(milliseconds(20));
    }
    return 0;
}

void press_key_at(Display *display, int x, int y, KeySym key)
{
    const KeyCode code = XKeysymToKeycode(display, key);
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
}

bool press_key_until(Display *display, int x, int y, KeySym key, ChildProcess &owner, const std::string &pattern,
                     milliseconds timeout)
{
    constexpr int kAttempts = 5;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        press_key_at(display, x, y, key);
        if (owner.wait_for_output(pattern, timeout / kAttempts))
            return true;
    }
    return false;
}

bool XSession::press_return_in(Window window)
{
    ScreenBox box = screen_box(display_, window);
    if (box.width == 0)
        return false;
    press_key_at(display_, box.x + box.width / 2, box.y + box.height / 2, XK_Return);
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
