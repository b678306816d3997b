/*
 * gif_bench.cpp - how fast the help pictures' GIF decoder reads a large
 * image, next to giflib's DGifSlurp on the same file in the same run.
 *
 * Writes a 2048x2048 picture with 256 colours (smooth shading, edges and
 * noise, so that strings of every length occur) to a temporary file, then
 * measures, best of several runs each:
 *   - ours: reading the file whole and GifDecode, as LoadGIF does;
 *   - giflib: DGifOpenFileName, DGifSlurp, DGifCloseFile.
 * Prints both times and the ratio (the goal is at most 1.0), after checking
 * that both give the same indices.  Not a pass/fail test: run it by hand
 * with the `bench` target.
 */
#include <gif_lib.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "data/help/tools/gifwrite.h"
#include "help/gifdecode.h"

namespace {

constexpr int kSize = 2048;
constexpr int kRuns = 9;
using Clock = std::chrono::steady_clock;

std::vector<std::uint8_t> Picture()
{
    std::mt19937 rng(42);
    std::vector<std::uint8_t> px(static_cast<std::size_t>(kSize) * kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            double shade = 96 + 80 * std::sin(x / 97.0) * std::cos(y / 131.0);
            int v = static_cast<int>(shade) / 8 * 8 + ((x / 256 + y / 256) % 2) * 40;
            if (rng() % 16 == 0)
                v += static_cast<int>(rng() % 8);
            px[static_cast<std::size_t>(y) * kSize + x] = static_cast<std::uint8_t>(v & 0xFF);
        }
    return px;
}

double Ours(const char *path, std::vector<std::uint8_t> &pixels)
{
    auto start = Clock::now();
    std::FILE *fp = std::fopen(path, "rb");
    std::fseek(fp, 0, SEEK_END);
    std::size_t size = static_cast<std::size_t>(std::ftell(fp));
    std::fseek(fp, 0, SEEK_SET);
    std::vector<std::uint8_t> data(size);
    std::size_t got = std::fread(data.data(), 1, size, fp);
    std::fclose(fp);
    GifPicture pic;
    int rc = GifDecode(data.data(), got, pic);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (rc == GIFDEC_OK)
        pixels.assign(pic.pixels.get(), pic.pixels.get() + static_cast<std::size_t>(kSize) * kSize);
    return seconds;
}

double Giflib(const char *path, std::vector<std::uint8_t> &pixels)
{
    auto start = Clock::now();
    int error = 0;
    GifFileType *gif = DGifOpenFileName(path, &error);
    bool ok = gif != nullptr && DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0;
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (ok)
        pixels.assign(gif->SavedImages[0].RasterBits,
                      gif->SavedImages[0].RasterBits + static_cast<std::size_t>(kSize) * kSize);
    auto close_start = Clock::now();
    if (gif != nullptr)
        DGifCloseFile(gif, &error);
    return seconds + std::chrono::duration<double>(Clock::now() - close_start).count();
}

} // namespace

int main()
{
    std::vector<GifRgb> map;
    for (int i = 0; i < 256; ++i)
        map.push_back(GifRgb{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i / 2), static_cast<std::uint8_t>(255 - i)});
    std::vector<std::uint8_t> file = GifWrite(kSize, kSize, map, Picture(), GifWriteOptions{});
    char path[] = "/tmp/gif_bench_XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()))
        return 1;
    close(fd);

    std::vector<std::uint8_t> ours_px, giflib_px;
    double ours = 1e9, giflib = 1e9;
    for (int i = 0; i < kRuns; ++i) {
        ours = std::min(ours, Ours(path, ours_px));
        giflib = std::min(giflib, Giflib(path, giflib_px));
    }
    unlink(path);
    if (ours_px.empty() || ours_px != giflib_px) {
        std::printf("gif_bench: the decoders disagree\n");
        return 1;
    }
    std::printf("GIF decode, %dx%d, 256 colours, %zu bytes, best of %d:\n", kSize, kSize, file.size(), kRuns);
    std::printf("  ours (read + GifDecode)       %8.2f ms\n", ours * 1e3);
    std::printf("  giflib (DGifOpen + DGifSlurp) %8.2f ms\n", giflib * 1e3);
    std::printf("  ratio ours/giflib             %8.2f (goal <= 1.0)\n", ours / giflib);
    return 0;
}
