/*
 * gifwrite.cpp - GIF87a writer with a plain LZW compressor.
 *
 * The compressor keeps its string table as a dense child array (code x
 * next pixel -> code), widens its codes exactly when a decoder's table
 * reaches the next power of two, and can leave clear codes out, emit them
 * at a fixed interval, or keep writing 12-bit codes once the table is full.
 */
#include "data/help/tools/gifwrite.h"

#include <array>
#include <string_view>

namespace {

constexpr int kMaxBits = 12;
constexpr int kTableSize = 1 << kMaxBits;
constexpr int kMaxBlock = 255;

/* Code bits, least significant first, cut into data sub-blocks. */
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t> &out) : out_(out) {}

    void Put(int code, int width)
    {
        acc_ |= static_cast<std::uint32_t>(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            Byte(static_cast<std::uint8_t>(acc_ & 0xFF));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }

    void Finish()
    {
        if (bits_ > 0)
            Byte(static_cast<std::uint8_t>(acc_ & 0xFF));
        if (!block_.empty())
            FlushBlock();
        out_.push_back(0);
    }

private:
    void Byte(std::uint8_t b)
    {
        block_.push_back(b);
        if (block_.size() == kMaxBlock)
            FlushBlock();
    }

    void FlushBlock()
    {
        out_.push_back(static_cast<std::uint8_t>(block_.size()));
        for (std::uint8_t b : block_)
            out_.push_back(b);
        block_.clear();
    }

    std::vector<std::uint8_t> &out_;
    std::vector<std::uint8_t> block_;
    std::uint32_t acc_ = 0;
    int bits_ = 0;
};

void Word(std::vector<std::uint8_t> &out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

/* The pixels in the order they are written: rows by interlace pass or
 * top to bottom. */
std::vector<int> RowOrder(int height, bool interlace)
{
    std::vector<int> rows;
    if (!interlace) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    constexpr std::array<int, 4> start = {0, 4, 2, 1}, step = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass])
            rows.push_back(y);
    return rows;
}

void Compress(BitWriter &bits, int code_size, int width, const std::vector<int> &rows,
              const std::vector<std::uint8_t> &pixels, const GifWriteOptions &options)
{
    const int clear = 1 << code_size, end = clear + 1, first_free = clear + 2;
    std::vector<std::uint16_t> child(static_cast<std::size_t>(kTableSize) * 256, 0);
    std::vector<std::size_t> added;
    int code_width = code_size + 1, next = first_free, codes = 0;

    auto reset = [&]() {
        bits.Put(clear, code_width);
        for (std::size_t key : added)
            child[key] = 0;
        added.clear();
        code_width = code_size + 1;
        next = first_free;
        codes = 0;
    };
    if (options.initial_clear)
        bits.Put(clear, code_width);

    int prefix = -1, length = 0;
    for (int y : rows) {
        const std::uint8_t *row = pixels.data() + static_cast<std::size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
            const int c = row[x] & (clear - 1);
            if (prefix < 0) {
                prefix = c;
                length = 1;
                continue;
            }
            const std::size_t key = static_cast<std::size_t>(prefix) * 256 + c;
            if (length < options.max_string && child[key] != 0) {
                prefix = child[key];
                ++length;
                continue;
            }
            bits.Put(prefix, code_width);
            ++codes;
            if (next < kTableSize) {
                if (child[key] == 0) {
                    child[key] = static_cast<std::uint16_t>(next);
                    added.push_back(key);
                }
                ++next;
                if (next > (1 << code_width) && code_width < kMaxBits)
                    ++code_width;
            }
            if ((next == kTableSize && options.clear_when_full) ||
                (options.clear_interval > 0 && codes >= options.clear_interval))
                reset();
            prefix = c;
            length = 1;
        }
    }
    if (prefix >= 0)
        bits.Put(prefix, code_width);
    bits.Put(end, code_width);
    bits.Finish();
}

} // namespace

std::vector<std::uint8_t> GifWrite(int width, int height, const std::vector<GifRgb> &map,
                                   const std::vector<std::uint8_t> &pixels, const GifWriteOptions &options)
{
    std::vector<std::uint8_t> out;
    if (width < 1 || width > 65535 || height < 1 || height > 65535 || map.size() > 256 ||
        pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
        return out;
    int map_bits = 1;
    while ((1u << map_bits) < map.size())
        ++map_bits;
    int code_size = options.code_size != 0 ? options.code_size : (map_bits < 2 ? 2 : map_bits);
    if (code_size < 1 || code_size > 8)
        return out;

    for (char c : std::string_view("GIF87a"))
        out.push_back(static_cast<std::uint8_t>(c));
    Word(out, width);
    Word(out, height);
    out.push_back(static_cast<std::uint8_t>(0x80 | ((map_bits - 1) << 4) | (map_bits - 1)));
    out.push_back(0);   /* background */
    out.push_back(0);
    for (int i = 0; i < (1 << map_bits); ++i) {
        GifRgb c = i < static_cast<int>(map.size()) ? map[i] : GifRgb{0, 0, 0};
        out.push_back(c.red);
        out.push_back(c.green);
        out.push_back(c.blue);
    }
    out.push_back(',');
    Word(out, 0);
    Word(out, 0);
    Word(out, width);
    Word(out, height);
    out.push_back(options.interlace ? 0x40 : 0x00);
    out.push_back(static_cast<std::uint8_t>(code_size));
    BitWriter bits(out);
    Compress(bits, code_size, width, RowOrder(height, options.interlace), pixels, options);
    out.push_back(';');
    return out;
}
