/*
 * gif_decode_test.cpp - the help pictures' GIF decoder against giflib (a
 * reference used only here) over images of our writer with every code size,
 * interlaced or not, with and without clear codes and with a full table kept
 * at 12-bit codes; and LoadGIF's messages for broken files.
 */
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/help/tools/gifwrite.h"
#include "help/gifdecode.h"
#include "help/xgifload.h"
#include "tests/support/process.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

/* Runs of one colour mixed with noise: long strings, short strings and the
 * code-equals-next-entry case all occur. */
Bytes MakePixels(int w, int h, int code_size, unsigned seed)
{
    std::mt19937 rng(seed);
    Bytes px(static_cast<std::size_t>(w) * h);
    const int colours = 1 << code_size;
    for (std::size_t i = 0; i < px.size();) {
        int run = (rng() % 4 == 0) ? static_cast<int>(rng() % 40) + 1 : 1;
        auto c = static_cast<std::uint8_t>(rng() % colours);
        for (; run > 0 && i < px.size(); --run)
            px[i++] = c;
    }
    return px;
}

std::vector<GifRgb> Palette(int code_size)
{
    std::vector<GifRgb> map;
    for (int i = 0; i < (1 << code_size); ++i)
        map.push_back(GifRgb{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7});
    return map;
}

/* giflib's decoding of the first image, or empty on its error. */
Bytes GiflibDecode(const Bytes &file)
{
    std::pair<const Bytes *, std::size_t> reader{&file, 0};
    auto input = [](GifFileType *gif, GifByteType *out, int n) -> int {
        auto *r = static_cast<std::pair<const Bytes *, std::size_t> *>(gif->UserData);
        std::size_t k = std::min(static_cast<std::size_t>(n), r->first->size() - r->second);
        std::memcpy(out, r->first->data() + r->second, k);
        r->second += k;
        return static_cast<int>(k);
    };
    int error = 0;
    GifFileType *gif = DGifOpen(&reader, input, &error);
    Bytes out;
    if (gif != nullptr && DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0)
        out.assign(gif->SavedImages[0].RasterBits, gif->SavedImages[0].RasterBits + gif->SWidth * gif->SHeight);
    DGifCloseFile(gif, &error);
    return out;
}

/* What LoadGIF says when it refuses `file`. */
std::string Refusal(const Bytes &file)
{
    const ConsoleRoot root;
    const std::string path = root.write("/refused.gif", std::string(file.begin(), file.end()));
    int w = 0, h = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadGIF(path.c_str(), &w, &h), nullptr);
    return testing::internal::GetCapturedStderr();
}

/* A stream of codes packed least significant bit first, as one sub-block. */
Bytes WithRaster(Bytes head, const std::vector<std::pair<int, int>> &codes)
{
    Bytes raster;
    std::uint32_t acc = 0;
    int bits = 0;
    for (auto [code, width] : codes) {
        acc |= static_cast<std::uint32_t>(code) << bits;
        for (bits += width; bits >= 8; bits -= 8, acc >>= 8)
            raster.push_back(static_cast<std::uint8_t>(acc));
    }
    if (bits > 0)
        raster.push_back(static_cast<std::uint8_t>(acc));
    head.push_back(static_cast<std::uint8_t>(raster.size()));
    head.insert(head.end(), raster.begin(), raster.end());
    head.push_back(0);
    return head;
}

} // namespace

TEST(GifDecode, AgreesWithGiflibForEveryCodeSizeInterlaceAndClearPolicy)
{
    struct Policy { const char *name; GifWriteOptions options; };
    const Policy policies[] = {
        {"clear at start and when full", GifWriteOptions{}},
        {"clear every 100 codes", GifWriteOptions{0, false, true, 100, true, 1000}},
        {"no clear codes, full table kept at 12 bits", GifWriteOptions{0, false, false, 0, false, 1000}},
    };
    /* Small heights exercise interlace passes without rows; the large
     * images fill the 4096-entry table. */
    const std::pair<int, int> sizes[] = {{1, 1}, {7, 2}, {5, 3}, {3, 10}, {33, 17}, {300, 220}};
    for (int code_size = 1; code_size <= 8; ++code_size)
        for (const Policy &policy : policies)
            for (bool interlace : {false, true})
                for (auto [w, h] : sizes) {
                    SCOPED_TRACE(std::string(policy.name) + " code size " + std::to_string(code_size) +
                                 (interlace ? " interlaced " : " ") + std::to_string(w) + "x" + std::to_string(h));
                    GifWriteOptions options = policy.options;
                    options.code_size = code_size;
                    options.interlace = interlace;
                    const Bytes pixels = MakePixels(w, h, code_size, static_cast<unsigned>(code_size * 1000 + w));
                    const Bytes file = GifWrite(w, h, Palette(code_size), pixels, options);
                    GifPicture pic;
                    ASSERT_EQ(GifDecode(file.data(), file.size(), pic), GIFDEC_OK);
                    EXPECT_EQ(Bytes(pic.pixels.get(), pic.pixels.get() + pixels.size()), pixels);
                    EXPECT_EQ(GiflibDecode(file), pixels);
                }
}

TEST(GifDecode, BrokenFilesAreRefusedWithTheirMessage)
{
    Bytes pixels = MakePixels(16, 8, 4, 5);
    const Bytes good = GifWrite(16, 8, Palette(4), pixels, GifWriteOptions{});
    const std::size_t header = 13 + 16 * 3;   /* up to the image separator */

    Bytes revised = good, screen = good, taller = good;
    revised[4] = '9';
    screen[12] = 1;
    taller[header + 7] = 9;   /* height 8 -> 9: one row more than the codes give */
    Bytes extension(good.begin(), good.begin() + header);
    extension.insert(extension.end(), {0x21, 0xF9, 4, 0, 0, 0, 0, 0});
    extension.insert(extension.end(), good.begin() + header, good.end());
    Bytes head(good.begin(), good.begin() + header + 10);
    head.push_back(4);   /* code size 4: clear 16, end 17, first entry 18 */
    Bytes tiny(good.begin(), good.begin() + header);
    tiny.insert(tiny.end(), {',', 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 4});
    const std::pair<Bytes, const char *> cases[] = {
        {revised, "not a GIF file"},
        {screen, "corrupt GIF file (bad screen descriptor)"},
        {extension, "corrupt GIF file (no image separator)"},
        {taller, "corrupt GIF file (image larger than its data)"},
        {WithRaster(head, {{16, 5}, {3, 5}, {19, 5}}), "corrupt GIF file (code past the table)"},
        {WithRaster(tiny, {{16, 5}, {3, 5}, {17, 5}}), "corrupt GIF file (image larger than its data)"},
    };
    for (const auto &[file, message] : cases)
        EXPECT_NE(Refusal(file).find(message), std::string::npos) << message;
    int w = 0, h = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadGIF("/nonexistent/status_key.gif", &w, &h), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "GIF file \"/nonexistent/status_key.gif\" not found\n");

    /* Every cut before the end of the data blocks is refused. */
    for (std::size_t cut = 0; cut + 1 < good.size(); ++cut) {
        GifPicture pic;
        EXPECT_LT(GifDecode(good.data(), cut, pic), 0) << "cut at " << cut;
    }
}

TEST(GifDecode, OverfullOutputStackEndsTheProgram)
{
    /* One colour throughout: each code stands for one pixel more than the
     * last, until one stands for more than the output stack holds. */
    Bytes pixels(1024 * 600, 3);
    Bytes file = GifWrite(1024, 600, Palette(2), pixels, GifWriteOptions{2, false, true, 0, true, 4096});
    const ConsoleRoot root;
    const std::string path = root.write("/overfull.gif", std::string(file.begin(), file.end()));
    int w = 0, h = 0;
    EXPECT_EXIT(LoadGIF(path.c_str(), &w, &h), testing::ExitedWithCode(255), "Corrupt GIF file \\(OutCount\\)!");
}
