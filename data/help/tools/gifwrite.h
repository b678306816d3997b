/*
 * gifwrite.h - a GIF87a writer: one image, a global colour map, the pixels
 * LZW-compressed.  Used by mkgif to draw the help pictures and by the
 * tests and benchmarks to make images with every code size, interlaced or
 * not, with or without clear codes.
 */
#ifndef XR_DATA_GIFWRITE_H
#define XR_DATA_GIFWRITE_H

#include <cstdint>
#include <vector>

struct GifRgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

struct GifWriteOptions {
    int code_size = 0;             /* LZW minimum code size 1..8; 0: from the colour map (at least 2) */
    bool interlace = false;        /* rows written in the four interlace passes */
    bool initial_clear = true;     /* a clear code before the first pixel */
    int clear_interval = 0;        /* a clear code after this many codes; 0: never for that reason */
    bool clear_when_full = true;   /* false: a full table keeps its 12-bit codes without a clear */
    int max_string = 1000;         /* longest run of pixels one code may stand for */
};

/* The bytes of a GIF87a file showing width x height `pixels` (one colour
 * index per byte, row by row) with the colour map `map` (padded to a power
 * of two of at least 2 entries).  Empty when the arguments cannot make a
 * file (sizes outside 1..65535, more than 256 colours, a bad code size). */
std::vector<std::uint8_t> GifWrite(int width, int height, const std::vector<GifRgb> &map,
                                   const std::vector<std::uint8_t> &pixels, const GifWriteOptions &options);

#endif
