/*
 * gifdecode.h - the GIF87a decoder under the help system's picture loader
 * (xgifload.cpp), without X: the bytes of a file in, the screen and image
 * sizes, the global colour map and one colour index per pixel out.
 *
 * The bytes come from a file anyone can edit: every read is checked against
 * the bytes that arrived, every code against the table built so far, and the
 * pixel buffer is only allocated when the compressed data could fill it.
 * Only the first image of the file is decoded; its local colour map, if
 * any, is skipped (the picture keeps the global map).
 *
 * Used by LoadGIF, the decoder's tests and its fuzz target.
 */
#ifndef XR_HELP_GIFDECODE_H
#define XR_HELP_GIFDECODE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

/* Results of GifDecode: 0 or one of these negative codes. */
enum GifResult : int {
    GIFDEC_OK = 0,
    GIFDEC_NOT_GIF = -1,          /* signature is not "GIF87a" */
    GIFDEC_BAD_SCREEN = -2,       /* screen descriptor short or its last byte not 0 */
    GIFDEC_NO_SEPARATOR = -3,     /* the colour map is cut short or no ',' follows it */
    GIFDEC_UNBLOCK = -4,          /* image descriptor or data sub-blocks run past the data */
    GIFDEC_BAD_CODE_SIZE = -5,    /* LZW minimum code size outside 1..8 */
    GIFDEC_BAD_CODE = -6,         /* a code past the table built so far */
    GIFDEC_SHORT_DATA = -7,       /* the codes end before every pixel is set */
    GIFDEC_OUT_COUNT = -8,        /* one code expands to more than the output stack holds */
    GIFDEC_NO_MEMORY = -9,        /* no memory for the raster or the pixels */
};

constexpr int GIF_SIGNATURE_SIZE = 6;
constexpr int GIF_SCREEN_DESCRIPTOR_END = 13;   /* bytes up to the global colour map */
constexpr int GIF_IMAGE_DESCRIPTOR_SIZE = 9;    /* after the ',' separator */
constexpr int GIF_MAX_CODE_BITS = 12;
constexpr int GIF_TABLE_SIZE = 1 << GIF_MAX_CODE_BITS;
/* The output stack holds the pixels of one code; more than this many
 * pending entries is a corrupt file. */
constexpr int GIF_MAX_OUT_COUNT = 1024;

struct GifColour {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

struct GifFreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

/* What the decoder found.  `pixels` is malloc'ed so that an X image can take
 * it over (XDestroyImage frees its data with free). */
struct GifPicture {
    int screen_width = 0;
    int screen_height = 0;
    int bits_per_pixel = 0;        /* of the screen descriptor */
    bool has_colour_map = false;
    int numcols = 0;               /* entries of the global colour map */
    std::array<GifColour, 256> colours{};
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlace = false;
    int code_size = 0;             /* LZW minimum code size */
    std::array<bool, 256> used{};  /* colour index met in the image */
    int numused = 0;
    std::unique_ptr<std::uint8_t[], GifFreeDeleter> pixels;  /* width * height */
};

/* Decodes the first image of the GIF87a file held in data[0..size).
 * Returns GIFDEC_OK with `out` filled, or a GifResult telling why not (then
 * `out` holds what was read before the fault). */
int GifDecode(const std::uint8_t *data, std::size_t size, GifPicture &out);

#endif
