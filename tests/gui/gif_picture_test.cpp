/*
 * gif_picture_test.cpp - GIF pictures on a page under a real X server: the
 * label shows the image in the colours of its colour map, a picture shown
 * twice is decoded once, and missing or broken pictures leave the text
 * "picture not found" (missing bitmaps the toolkit's slant pattern).
 */
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <Xm/RowColumn.h>
#include <Xm/Xm.h>

#include "data/help/tools/gifwrite.h"
#include "help/help.h"
#include "help/xgifload.h"
#include "tests/support/gui_harness.h"

namespace {

class GifPicture : public testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/gif_picture_XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        xh_SetHelpPath(dir_.c_str(), nullptr);
        Widget shell = gui::test_shell("gif_page", 0, 0);
        page_ = XtVaCreateManagedWidget("page", xmRowColumnWidgetClass, shell, nullptr);
        XtRealizeWidget(shell);
    }
    void TearDown() override
    {
        for (const std::string &name : files_)
            unlink((dir_ + "/" + name).c_str());
        rmdir(dir_.c_str());
    }
    void Put(const std::string &name, const std::vector<std::uint8_t> &bytes)
    {
        std::FILE *fp = std::fopen((dir_ + "/" + name).c_str(), "wb");
        files_.push_back(name);
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), fp), bytes.size());
        std::fclose(fp);
    }
    static Pixmap PixmapOf(Widget label)
    {
        Pixmap pixmap = XmUNSPECIFIED_PIXMAP;
        XtVaGetValues(label, XmNlabelPixmap, &pixmap, nullptr);
        return pixmap;
    }

    std::string dir_;
    std::vector<std::string> files_;
    Widget page_ = nullptr;
};

} // namespace

TEST_F(GifPicture, ShowsTheImageInItsMapsColoursAndDecodesItOnce)
{
    const int w = 7, h = 5;
    std::vector<GifRgb> map = {{255, 0, 0}, {0, 200, 0}, {10, 20, 250}, {255, 255, 255}, {0, 0, 0}, {90, 90, 30}};
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < w * h; ++i)
        pixels.push_back(static_cast<std::uint8_t>((i * 5 + i / w) % map.size()));
    GifWriteOptions options;
    options.interlace = true;
    Put("key.gif", GifWrite(w, h, map, pixels, options));

    Widget first = xh_CreateGifLabel(page_, "key.gif");
    Pixmap pixmap = PixmapOf(first);
    ASSERT_NE(pixmap, XmUNSPECIFIED_PIXMAP);
    EXPECT_EQ(PixmapOf(xh_CreateGifLabel(page_, "key.gif")), pixmap);

    Display *display = XtDisplay(page_);
    XImage *shown = XGetImage(display, pixmap, 0, 0, w, h, AllPlanes, ZPixmap);
    ASSERT_NE(shown, nullptr);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            XColor c{};
            c.pixel = XGetPixel(shown, x, y);
            XQueryColor(display, DefaultColormapOfScreen(XtScreen(page_)), &c);
            const GifRgb want = map[pixels[static_cast<std::size_t>(y) * w + x]];
            EXPECT_EQ((c.red >> 8) << 16 | (c.green >> 8) << 8 | c.blue >> 8, want.red << 16 | want.green << 8 | want.blue);
        }
    XDestroyImage(shown);
    gui::screenshot("GifPicture.page");
}

TEST_F(GifPicture, MissingOrBrokenPicturesSayPictureNotFound)
{
    std::vector<std::uint8_t> revised = GifWrite(4, 4, {{1, 2, 3}, {4, 5, 6}}, std::vector<std::uint8_t>(16, 1), {});
    revised[4] = '9';
    Put("revised.gif", revised);

    testing::internal::CaptureStderr();
    Widget missing = xh_CreateGifLabel(page_, "absent.gif");
    Widget broken = xh_CreateGifLabel(page_, "revised.gif");
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(gui::label_text(missing), "picture not found");
    EXPECT_EQ(gui::label_text(broken), "picture not found");
    EXPECT_NE(messages.find("GIF file \"absent.gif\" not found"), std::string::npos) << messages;
    EXPECT_NE(messages.find(dir_ + "/revised.gif: not a GIF file"), std::string::npos) << messages;

    Pixel fg = BlackPixelOfScreen(XtScreen(page_)), bg = WhitePixelOfScreen(XtScreen(page_));
    EXPECT_EQ(MyGetPixmap(XtScreen(page_), "absent.xbm", fg, bg),
              XmGetPixmap(XtScreen(page_), const_cast<char *>("slant_right"), fg, bg));
}
