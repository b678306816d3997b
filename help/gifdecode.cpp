/*
 * gifdecode.cpp - GIF87a decoding for the help pictures: header, screen
 * descriptor, global colour map, image descriptor, data sub-blocks and the
 * LZW raster, into one byte per pixel.
 *
 * The decoder's state lives in one GifDecoder per call (the names are the
 * loader's: BitOffset, CodeSize, ReadMask, OutCount, XC, YC, Pass, ...).
 * ReadCode takes the next code least significant bit first; AddToPixel
 * stores one pixel and advances through the rows, by passes for interlaced
 * images.  The file's bytes are untrusted: reads are checked against the
 * buffer, codes against the table, and the raster is padded with zero bytes
 * so that a code read never needs a bounds test per byte.
 */
#include "help/gifdecode.h"

#include <cstring>

/* ---- constants ---------------------------------------------------------- */

namespace {

constexpr std::uint8_t kSignature[GIF_SIGNATURE_SIZE] = {'G', 'I', 'F', '8', '7', 'a'};
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kColourMapFlag = 0x80;
constexpr std::uint8_t kInterlaceFlag = 0x40;
constexpr std::uint8_t kBitsMask = 0x07;
constexpr int kMinCodeSize = 1;
constexpr int kMaxCodeSize = 8;
/* Zero bytes after the raster: a code of at most 12 bits starting at any
 * bit of the last byte ends within three bytes. */
constexpr std::size_t kRasterPadding = 4;
constexpr int kNoCode = -1;

/* Interlaced rows: pass p covers rows kPassStart[p], + kPassStep[p], ... */
constexpr std::array<int, 4> kPassStart = {0, 4, 2, 1};
constexpr std::array<int, 4> kPassStep = {8, 8, 4, 2};
constexpr int kPasses = 4;

static_assert(GIF_SIGNATURE_SIZE + 7 == GIF_SCREEN_DESCRIPTOR_END, "screen descriptor is 7 bytes after the signature");

inline int Word(const std::uint8_t *p)
{
    return p[0] | (p[1] << 8);
}

/* ---- decoder state ------------------------------------------------------ */

struct GifDecoder {
    GifPicture &pic;

    /* raster */
    const std::uint8_t *Raster = nullptr;
    std::size_t RasterBits = 0;
    std::size_t BitOffset = 0;
    int CodeSize = 0;
    int ReadMask = 0;
    int ClearCode = 0;
    int EOFCode = 0;
    int FirstFree = 0;
    int FreeCode = 0;
    int MaxCode = 0;

    /* output position */
    int XC = 0;
    int YC = 0;
    int Pass = 0;
    bool Interlace = false;
    bool Done = false;
    std::uint8_t *Row = nullptr;   /* row YC of the image, null when outside */
    int Width = 0;
    int Height = 0;

    std::array<std::uint16_t, GIF_TABLE_SIZE> Prefix{};
    std::array<std::uint8_t, GIF_TABLE_SIZE> Suffix{};
    std::array<std::uint8_t, GIF_MAX_OUT_COUNT + 1> OutCode{};
    int OutCount = 0;

    explicit GifDecoder(GifPicture &p) : pic(p) {}

    int ReadCode();
    void AddToPixel(std::uint8_t index);
    void NextRow();
    void ResetTable();
    void Widen();
    int Decompress(int code_size);
};

/* ---- LZW ---------------------------------------------------------------- */

/* The next code, or kNoCode when the raster has no whole code left. */
inline int GifDecoder::ReadCode()
{
    if (BitOffset + static_cast<std::size_t>(CodeSize) > RasterBits)
        return kNoCode;
    const std::uint8_t *p = Raster + (BitOffset >> 3);
    std::uint32_t raw = p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
    int code = static_cast<int>((raw >> (BitOffset & 7)) & static_cast<std::uint32_t>(ReadMask));
    BitOffset += static_cast<std::size_t>(CodeSize);
    return code;
}

inline void GifDecoder::AddToPixel(std::uint8_t index)
{
    if (Row != nullptr) {
        Row[XC] = index;
        pic.used[index] = true;
    }
    if (++XC == Width)
        NextRow();
}

/* End of a row: the next row down, or for interlaced images the next row of
 * this pass, passing on to the next pass (skipping passes that have no row
 * in a short image) when this one runs past the last row. */
void GifDecoder::NextRow()
{
    XC = 0;
    if (!Interlace) {
        ++YC;
    } else {
        YC += kPassStep[Pass];
        while (YC >= Height && Pass + 1 < kPasses) {
            ++Pass;
            YC = kPassStart[Pass];
        }
    }
    if (YC >= Height) {
        Done = true;
        Row = nullptr;
    } else {
        Row = pic.pixels.get() + static_cast<std::size_t>(YC) * static_cast<std::size_t>(Width);
    }
}

void GifDecoder::ResetTable()
{
    CodeSize = pic.code_size + 1;
    ReadMask = (1 << CodeSize) - 1;
    MaxCode = 1 << CodeSize;
    FreeCode = FirstFree;
}

/* One bit more per code, up to 12. */
void GifDecoder::Widen()
{
    if (CodeSize < GIF_MAX_CODE_BITS) {
        ++CodeSize;
        MaxCode *= 2;
        ReadMask = (1 << CodeSize) - 1;
    }
}

/* Standard GIF LZW over the raster until every pixel is set. */
int GifDecoder::Decompress(int code_size)
{
    ClearCode = 1 << code_size;
    EOFCode = ClearCode + 1;
    FirstFree = ClearCode + 2;
    ResetTable();

    int OldCode = kNoCode;
    std::uint8_t FinChar = 0;
    while (!Done) {
        int Code = ReadCode();
        if (Code == kNoCode || Code == EOFCode)
            return GIFDEC_SHORT_DATA;
        if (Code == ClearCode) {
            ResetTable();
            OldCode = kNoCode;
            continue;
        }
        if (OldCode == kNoCode) {
            /* First code of a table: a literal. */
            if (Code > ClearCode)
                return GIFDEC_BAD_CODE;
            FinChar = static_cast<std::uint8_t>(Code);
            AddToPixel(FinChar);
            OldCode = Code;
            /* With 1-bit codes the first free entry already needs a wider
             * code: the next code may name it. */
            if (FreeCode >= MaxCode)
                Widen();
            continue;
        }
        if (Code > FreeCode)
            return GIFDEC_BAD_CODE;

        const int InCode = Code;
        OutCount = 0;
        if (Code == FreeCode) {
            /* The string of the previous code plus its own first pixel. */
            OutCode[OutCount++] = FinChar;
            Code = OldCode;
        }
        while (Code > EOFCode) {
            OutCode[OutCount++] = Suffix[Code];
            if (OutCount > GIF_MAX_OUT_COUNT)
                return GIFDEC_OUT_COUNT;
            Code = Prefix[Code];
        }
        FinChar = static_cast<std::uint8_t>(Code);
        AddToPixel(FinChar);
        for (int i = OutCount - 1; i >= 0 && !Done; --i)
            AddToPixel(OutCode[i]);

        if (FreeCode < GIF_TABLE_SIZE) {
            Prefix[FreeCode] = static_cast<std::uint16_t>(OldCode);
            Suffix[FreeCode] = FinChar;
            ++FreeCode;
            if (FreeCode >= MaxCode)
                Widen();
        }
        OldCode = InCode;
    }
    return GIFDEC_OK;
}

/* ---- file structure ----------------------------------------------------- */

/* Joins the data sub-blocks starting at data[pos] into one padded buffer.
 * Returns GIFDEC_OK, GIFDEC_UNBLOCK or GIFDEC_NO_MEMORY. */
int Unblock(const std::uint8_t *data, std::size_t size, std::size_t pos,
            std::unique_ptr<std::uint8_t[], GifFreeDeleter> &raster, std::size_t &raster_size)
{
    /* First pass: the length of the data, with every block inside the file. */
    std::size_t total = 0;
    std::size_t scan = pos;
    for (;;) {
        if (scan >= size)
            return GIFDEC_UNBLOCK;
        std::size_t length = data[scan++];
        if (length == 0)
            break;
        if (length > size - scan)
            return GIFDEC_UNBLOCK;
        total += length;
        scan += length;
    }
    raster.reset(static_cast<std::uint8_t *>(std::malloc(total + kRasterPadding)));
    if (!raster)
        return GIFDEC_NO_MEMORY;
    std::uint8_t *out = raster.get();
    for (std::size_t length = data[pos++]; length != 0; length = data[pos++]) {
        std::memcpy(out, data + pos, length);
        out += length;
        pos += length;
    }
    std::memset(out, 0, kRasterPadding);
    raster_size = total;
    return GIFDEC_OK;
}

} // namespace

/* ---- entry point -------------------------------------------------------- */

int GifDecode(const std::uint8_t *data, std::size_t size, GifPicture &pic)
{
    pic = GifPicture{};
    if (size < GIF_SIGNATURE_SIZE || std::memcmp(data, kSignature, GIF_SIGNATURE_SIZE) != 0)
        return GIFDEC_NOT_GIF;

    /* Screen descriptor. */
    if (size < GIF_SCREEN_DESCRIPTOR_END || data[12] != 0)
        return GIFDEC_BAD_SCREEN;
    pic.screen_width = Word(data + 6);
    pic.screen_height = Word(data + 8);
    pic.has_colour_map = (data[10] & kColourMapFlag) != 0;
    pic.bits_per_pixel = (data[10] & kBitsMask) + 1;
    std::size_t pos = GIF_SCREEN_DESCRIPTOR_END;

    /* Global colour map. */
    if (pic.has_colour_map) {
        pic.numcols = 1 << pic.bits_per_pixel;
        std::size_t map_bytes = static_cast<std::size_t>(pic.numcols) * 3;
        if (size - pos < map_bytes)
            return GIFDEC_NO_SEPARATOR;
        for (int i = 0; i < pic.numcols; ++i, pos += 3)
            pic.colours[i] = GifColour{data[pos], data[pos + 1], data[pos + 2]};
    }

    /* Image separator and descriptor; extension blocks are not accepted. */
    if (pos >= size || data[pos] != kImageSeparator)
        return GIFDEC_NO_SEPARATOR;
    ++pos;
    if (size - pos < GIF_IMAGE_DESCRIPTOR_SIZE + 1)
        return GIFDEC_UNBLOCK;
    pic.left = Word(data + pos);
    pic.top = Word(data + pos + 2);
    pic.width = Word(data + pos + 4);
    pic.height = Word(data + pos + 6);
    std::uint8_t flags = data[pos + 8];
    pic.interlace = (flags & kInterlaceFlag) != 0;
    pos += GIF_IMAGE_DESCRIPTOR_SIZE;
    if ((flags & kColourMapFlag) != 0) {
        /* A local colour map: skipped, the picture keeps the global map. */
        std::size_t local_bytes = static_cast<std::size_t>(3) << ((flags & kBitsMask) + 1);
        if (size - pos < local_bytes + 1)
            return GIFDEC_UNBLOCK;
        pos += local_bytes;
    }
    pic.code_size = data[pos++];
    if (pic.code_size < kMinCodeSize || pic.code_size > kMaxCodeSize)
        return GIFDEC_BAD_CODE_SIZE;

    std::unique_ptr<std::uint8_t[], GifFreeDeleter> raster;
    std::size_t raster_size = 0;
    if (int rc = Unblock(data, size, pos, raster, raster_size); rc != GIFDEC_OK)
        return rc;

    /* Each code yields at most GIF_MAX_OUT_COUNT + 1 pixels: an image the
     * raster cannot fill is refused before its buffer is allocated. */
    const std::size_t pixel_count = static_cast<std::size_t>(pic.width) * static_cast<std::size_t>(pic.height);
    const std::size_t max_codes = raster_size * 8 / static_cast<std::size_t>(pic.code_size + 1);
    if (pixel_count > max_codes * (GIF_MAX_OUT_COUNT + 1))
        return GIFDEC_SHORT_DATA;
    pic.pixels.reset(static_cast<std::uint8_t *>(std::malloc(pixel_count != 0 ? pixel_count : 1)));
    if (!pic.pixels)
        return GIFDEC_NO_MEMORY;
    std::memset(pic.pixels.get(), 0, pixel_count);

    int rc = GIFDEC_OK;
    if (pixel_count != 0) {
        GifDecoder decoder(pic);
        decoder.Width = pic.width;
        decoder.Height = pic.height;
        decoder.Interlace = pic.interlace;
        decoder.Raster = raster.get();
        decoder.RasterBits = raster_size * 8;
        decoder.Row = pic.pixels.get();
        rc = decoder.Decompress(pic.code_size);
    }
    for (bool used : pic.used)
        pic.numused += used ? 1 : 0;
    return rc;
}
