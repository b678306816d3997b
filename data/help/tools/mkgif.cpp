/*
 * mkgif.cpp - draws the help pictures from the console's own icons.
 *
 *   mkgif OUT.gif LAYOUT ICONDIR APP-DEFAULTS
 *
 * LAYOUT is a small drawing script, one directive per line ('#' starts a
 * comment line):
 *
 *   canvas W H COLOUR             picture size and background
 *   box X Y W H COLOUR            filled rectangle
 *   frame X Y W H COLOUR          one-pixel outline
 *   place X Y ICON SCALE FG BG    the X bitmap ICONDIR/ICON, each bit SCALE x
 *                                 SCALE pixels, set bits FG, clear bits BG
 *                                 ("-": left as drawn before)
 *
 * A COLOUR is "#rrggbb", "grayN"/"greyN" (N percent), "black", "white", or
 * "@widget.resource": the value of "Xrackmon*widget.resource" in the
 * app-defaults file, so that the pictures show the colours the program
 * shows.  The result is written as GIF87a (gifwrite).  Errors name the
 * layout line and end the run with status 1, failing the build.
 */
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/help/tools/gifwrite.h"

namespace {

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<GifRgb> palette;
    std::vector<std::uint8_t> pixels;

    /* Palette index of a colour, added when new; -1 when the palette is full. */
    int Index(GifRgb c)
    {
        for (std::size_t i = 0; i < palette.size(); ++i)
            if (palette[i].red == c.red && palette[i].green == c.green && palette[i].blue == c.blue)
                return static_cast<int>(i);
        if (palette.size() == 256)
            return -1;
        palette.push_back(c);
        return static_cast<int>(palette.size()) - 1;
    }

    void Set(int x, int y, int index)
    {
        if (x >= 0 && y >= 0 && x < width && y < height)
            pixels[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(index);
    }
};

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bytes;

    bool Bit(int x, int y) const
    {
        std::size_t row = static_cast<std::size_t>((width + 7) / 8);
        std::size_t at = static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x / 8);
        return at < bytes.size() && (bytes[at] >> (x % 8)) & 1;
    }
};

std::string layout_name;
int layout_line = 0;
std::map<std::string, std::string> resources;

[[noreturn]] void Fail(const std::string &what)
{
    std::fprintf(stderr, "%s:%d: %s\n", layout_name.c_str(), layout_line, what.c_str());
    std::exit(1);
}

/* "Xrackmon*NAME:  VALUE" lines of the app-defaults file. */
void ReadResources(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        Fail("cannot read " + path);
    const std::string prefix = "Xrackmon*";
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t\r") + 1);
        resources[line.substr(prefix.size(), colon - prefix.size())] = value;
    }
}

GifRgb Colour(const std::string &colour_name)
{
    if (!colour_name.empty() && colour_name[0] == '@') {
        auto it = resources.find(colour_name.substr(1));
        if (it == resources.end())
            Fail("no resource Xrackmon*" + colour_name.substr(1));
        return Colour(it->second);
    }
    if (colour_name.size() == 7 && colour_name[0] == '#') {
        unsigned long v = std::strtoul(colour_name.c_str() + 1, nullptr, 16);
        return GifRgb{static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                      static_cast<std::uint8_t>(v)};
    }
    if (colour_name == "black")
        return GifRgb{0, 0, 0};
    if (colour_name == "white")
        return GifRgb{255, 255, 255};
    if ((colour_name.rfind("gray", 0) == 0 || colour_name.rfind("grey", 0) == 0) && colour_name.size() > 4 &&
        std::isdigit(static_cast<unsigned char>(colour_name[4]))) {
        int percent = std::atoi(colour_name.c_str() + 4);
        if (percent <= 100) {
            auto v = static_cast<std::uint8_t>((percent * 255 + 50) / 100);
            return GifRgb{v, v, v};
        }
    }
    Fail("unknown colour " + colour_name);
}

int PaletteIndex(Canvas &canvas, const std::string &colour_name)
{
    int index = canvas.Index(Colour(colour_name));
    if (index < 0)
        Fail("more than 256 colours");
    return index;
}

/* An X bitmap file as written by xbmgen (or any XBM). */
Bitmap ReadBitmap(const std::string &path)
{
    std::ifstream in(path);
    if (!in)
        Fail("cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    Bitmap bm;
    auto number_after = [&](const std::string &key) {
        std::size_t at = s.find(key);
        if (at == std::string::npos)
            Fail(path + ": no " + key);
        return std::atoi(s.c_str() + at + key.size());
    };
    bm.width = number_after("_width ");
    bm.height = number_after("_height ");
    std::size_t pos = s.find('{');
    if (pos == std::string::npos || bm.width <= 0 || bm.height <= 0)
        Fail(path + ": not an X bitmap");
    while ((pos = s.find("0x", pos)) != std::string::npos) {
        bm.bytes.push_back(static_cast<std::uint8_t>(std::strtoul(s.c_str() + pos, nullptr, 16)));
        pos += 2;
    }
    if (bm.bytes.size() < static_cast<std::size_t>((bm.width + 7) / 8) * bm.height)
        Fail(path + ": short bitmap");
    return bm;
}

void Rectangle(Canvas &canvas, int x, int y, int w, int h, int index, bool filled)
{
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (filled || i == 0 || j == 0 || i == w - 1 || j == h - 1)
                canvas.Set(x + i, y + j, index);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: mkgif OUT.gif LAYOUT ICONDIR APP-DEFAULTS\n");
        return 1;
    }
    layout_name = argv[2];
    const std::string icon_dir = argv[3];
    ReadResources(argv[4]);
    std::ifstream layout(layout_name);
    if (!layout)
        Fail("cannot read the layout");

    Canvas canvas;
    std::string line;
    while (std::getline(layout, line)) {
        ++layout_line;
        std::istringstream words(line);
        std::string op;
        if (!(words >> op) || op[0] == '#')
            continue;
        if (op == "canvas") {
            std::string colour;
            if (!(words >> canvas.width >> canvas.height >> colour) || canvas.width < 1 || canvas.height < 1 ||
                canvas.width > 4096 || canvas.height > 4096)
                Fail("canvas W H COLOUR");
            canvas.pixels.assign(static_cast<std::size_t>(canvas.width) * canvas.height,
                                 static_cast<std::uint8_t>(PaletteIndex(canvas, colour)));
            continue;
        }
        if (canvas.pixels.empty())
            Fail("canvas must come first");
        int x = 0, y = 0, w = 0, h = 0;
        std::string a, b;
        if (op == "box" || op == "frame") {
            if (!(words >> x >> y >> w >> h >> a))
                Fail(op + " X Y W H COLOUR");
            Rectangle(canvas, x, y, w, h, PaletteIndex(canvas, a), op == "box");
        } else if (op == "place") {
            std::string icon;
            int scale = 1;
            if (!(words >> x >> y >> icon >> scale >> a >> b) || scale < 1 || scale > 16)
                Fail("place X Y ICON SCALE FG BG");
            Bitmap bm = ReadBitmap(icon_dir + "/" + icon);
            int fg = a == "-" ? -1 : PaletteIndex(canvas, a);
            int bg = b == "-" ? -1 : PaletteIndex(canvas, b);
            for (int j = 0; j < bm.height * scale; ++j)
                for (int i = 0; i < bm.width * scale; ++i) {
                    int index = bm.Bit(i / scale, j / scale) ? fg : bg;
                    if (index >= 0)
                        canvas.Set(x + i, y + j, index);
                }
        } else {
            Fail("unknown directive " + op);
        }
    }
    if (canvas.pixels.empty())
        Fail("no canvas");

    std::vector<std::uint8_t> gif = GifWrite(canvas.width, canvas.height, canvas.palette, canvas.pixels,
                                             GifWriteOptions{});
    std::FILE *out = std::fopen(argv[1], "wb");
    if (out == nullptr || gif.empty() || std::fwrite(gif.data(), 1, gif.size(), out) != gif.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "mkgif: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
