/*
 * xbmgen.cpp - turns the text-art icon sources of data/icons/ into the X
 * bitmap files the console reads from /opt/console/icons/.
 *
 *   xbmgen OUTDIR SOURCE.art...
 *
 * Source format, one directive per line ('#' starts a comment line):
 *
 *   icon NAME[*SCALE] NAME[*SCALE]...
 *   <rows of art: '#' or 'X' = set bit, '.' = clear bit>
 *   end
 *       One drawing written under every NAME, each enlarged SCALE times
 *       (default 1).  All rows must have the same length.
 *
 *   tag NAME SIZE TEXT
 *       A SIZExSIZE framed name plate with TEXT drawn in a small block font,
 *       '|' starting a new line; used for the many window icons that only
 *       need to tell installations apart.
 *
 * Every picture whose name ends in ".tsl" also gets "NAME_f", the same
 * bits inverted: the look of a selected component toggle.
 *
 * Run by the build (data/CMakeLists.txt); errors name the file and line and
 * end the run with status 1 so that a broken drawing fails the build.
 */
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<bool> bits;
    bool at(int x, int y) const { return bits[static_cast<size_t>(y * width + x)]; }
    void set(int x, int y) {
        if (x >= 0 && y >= 0 && x < width && y < height)
            bits[static_cast<size_t>(y * width + x)] = true;
    }
};

/* 3x5 block font for name plates: digits, capitals and a few signs. */
struct Glyph {
    char ch;
    std::array<const char *, 5> rows;
};
constexpr Glyph FONT[] = {
    {'0', {"###", "#.#", "#.#", "#.#", "###"}}, {'1', {".#.", "##.", ".#.", ".#.", "###"}},
    {'2', {"###", "..#", "###", "#..", "###"}}, {'3', {"###", "..#", ".##", "..#", "###"}},
    {'4', {"#.#", "#.#", "###", "..#", "..#"}}, {'5', {"###", "#..", "###", "..#", "###"}},
    {'6', {"###", "#..", "###", "#.#", "###"}}, {'7', {"###", "..#", ".#.", ".#.", ".#."}},
    {'8', {"###", "#.#", "###", "#.#", "###"}}, {'9', {"###", "#.#", "###", "..#", "###"}},
    {'A', {".#.", "#.#", "###", "#.#", "#.#"}}, {'B', {"##.", "#.#", "##.", "#.#", "##."}},
    {'C', {".##", "#..", "#..", "#..", ".##"}}, {'D', {"##.", "#.#", "#.#", "#.#", "##."}},
    {'E', {"###", "#..", "##.", "#..", "###"}}, {'F', {"###", "#..", "##.", "#..", "#.."}},
    {'G', {".##", "#..", "#.#", "#.#", ".##"}}, {'H', {"#.#", "#.#", "###", "#.#", "#.#"}},
    {'I', {"###", ".#.", ".#.", ".#.", "###"}}, {'J', {"..#", "..#", "..#", "#.#", ".#."}},
    {'K', {"#.#", "#.#", "##.", "#.#", "#.#"}}, {'L', {"#..", "#..", "#..", "#..", "###"}},
    {'M', {"#.#", "###", "###", "#.#", "#.#"}}, {'N', {"##.", "#.#", "#.#", "#.#", "#.#"}},
    {'O', {".#.", "#.#", "#.#", "#.#", ".#."}}, {'P', {"##.", "#.#", "##.", "#..", "#.."}},
    {'Q', {".#.", "#.#", "#.#", "##.", ".##"}}, {'R', {"##.", "#.#", "##.", "#.#", "#.#"}},
    {'S', {".##", "#..", ".#.", "..#", "##."}}, {'T', {"###", ".#.", ".#.", ".#.", ".#."}},
    {'U', {"#.#", "#.#", "#.#", "#.#", "###"}}, {'V', {"#.#", "#.#", "#.#", "#.#", ".#."}},
    {'W', {"#.#", "#.#", "###", "###", "#.#"}}, {'X', {"#.#", "#.#", ".#.", "#.#", "#.#"}},
    {'Y', {"#.#", "#.#", ".#.", ".#.", ".#."}}, {'Z', {"###", "..#", ".#.", "#..", "###"}},
    {'-', {"...", "...", "###", "...", "..."}}, {'/', {"..#", "..#", ".#.", "#..", "#.."}},
    {'?', {"##.", "..#", ".#.", "...", ".#."}}, {' ', {"...", "...", "...", "...", "..."}},
};

const Glyph *glyph(char ch) {
    if (ch >= 'a' && ch <= 'z')
        ch = static_cast<char>(ch - 'a' + 'A');
    for (const Glyph &g : FONT)
        if (g.ch == ch)
            return &g;
    return nullptr;
}

struct Source {
    std::string file;
    int line = 0;
    std::ifstream in;
    bool fail(const std::string &what) const {
        std::fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, what.c_str());
        return false;
    }
};

std::string identifier(std::string_view name) {
    std::string id;
    for (char c : name)
        id += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    return id;
}

bool write_xbm(const std::string &dir, const std::string &name, const Bitmap &bm, bool inverted) {
    const std::string path = dir + "/" + name;
    FILE *out = std::fopen(path.c_str(), "w");
    if (!out) {
        std::perror(path.c_str());
        return false;
    }
    const std::string id = identifier(name);
    std::fprintf(out, "#define %s_width %d\n#define %s_height %d\nstatic unsigned char %s_bits[] = {",
                 id.c_str(), bm.width, id.c_str(), bm.height, id.c_str());
    int count = 0;
    for (int y = 0; y < bm.height; ++y) {
        for (int x0 = 0; x0 < bm.width; x0 += 8) {
            unsigned byte = 0;
            for (int b = 0; b < 8 && x0 + b < bm.width; ++b)
                if (bm.at(x0 + b, y) != inverted)
                    byte |= 1u << b;
            std::fprintf(out, "%s%s0x%02x", count ? "," : "", count % 12 ? " " : "\n   ", byte);
            ++count;
        }
    }
    std::fprintf(out, "};\n");
    return std::fclose(out) == 0;
}

Bitmap scaled(const Bitmap &src, int scale) {
    Bitmap out{src.width * scale, src.height * scale, {}};
    out.bits.assign(static_cast<size_t>(out.width * out.height), false);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            if (src.at(x / scale, y / scale))
                out.set(x, y);
    return out;
}

bool emit(const std::string &dir, const std::string &name, const Bitmap &bm) {
    if (!write_xbm(dir, name, bm, false))
        return false;
    if (name.size() > 4 && name.ends_with(".tsl"))
        return write_xbm(dir, name + "_f", bm, true);
    return true;
}

bool read_art(Source &src, Bitmap &bm) {
    std::string row;
    while (std::getline(src.in, row)) {
        ++src.line;
        if (row == "end")
            return bm.height > 0 || src.fail("empty drawing");
        if (bm.height == 0)
            bm.width = static_cast<int>(row.size());
        if (static_cast<int>(row.size()) != bm.width)
            return src.fail("row length " + std::to_string(row.size()) + ", expected " + std::to_string(bm.width));
        for (char c : row) {
            if (c != '#' && c != 'X' && c != '.')
                return src.fail(std::string("bad art character '") + c + "'");
            bm.bits.push_back(c != '.');
        }
        ++bm.height;
    }
    return src.fail("drawing without 'end'");
}

bool do_icon(Source &src, std::istringstream &args, const std::string &dir) {
    std::vector<std::pair<std::string, int>> names;
    std::string word;
    while (args >> word) {
        int scale = 1;
        if (auto star = word.find('*'); star != std::string::npos) {
            scale = std::atoi(word.c_str() + star + 1);
            word.resize(star);
        }
        if (scale < 1 || scale > 8)
            return src.fail("bad scale for " + word);
        names.emplace_back(word, scale);
    }
    if (names.empty())
        return src.fail("icon without a name");
    Bitmap art;
    if (!read_art(src, art))
        return false;
    for (const auto &[name, scale] : names)
        if (!emit(dir, name, scale == 1 ? art : scaled(art, scale)))
            return false;
    return true;
}

bool do_tag(Source &src, std::istringstream &args, const std::string &dir) {
    std::string name, text;
    int size = 0;
    args >> name >> size;
    std::getline(args >> std::ws, text);
    if (name.empty() || size < 16 || size > 128 || text.empty())
        return src.fail("tag needs NAME SIZE TEXT");
    std::vector<std::string> lines;
    std::istringstream split(text);
    for (std::string l; std::getline(split, l, '|');)
        lines.push_back(l);
    size_t longest = 0;
    for (const auto &l : lines)
        longest = std::max(longest, l.size());
    const int text_w = static_cast<int>(longest) * 4 - 1;
    const int text_h = static_cast<int>(lines.size()) * 6 - 1;
    const int scale = std::min((size - 8) / text_w, (size - 8) / text_h);
    if (scale < 1)
        return src.fail("text does not fit: " + text);
    Bitmap bm{size, size, std::vector<bool>(static_cast<size_t>(size * size), false)};
    for (int i = 0; i < size; ++i) { /* double frame: a name plate */
        bm.set(i, 0), bm.set(i, size - 1), bm.set(0, i), bm.set(size - 1, i);
        if (i >= 2 && i < size - 2)
            bm.set(i, 2), bm.set(i, size - 3), bm.set(2, i), bm.set(size - 3, i);
    }
    const int y0 = (size - text_h * scale) / 2;
    for (size_t l = 0; l < lines.size(); ++l) {
        const int line_w = static_cast<int>(lines[l].size()) * 4 - 1;
        const int x0 = (size - line_w * scale) / 2;
        for (size_t c = 0; c < lines[l].size(); ++c) {
            const Glyph *g = glyph(lines[l][c]);
            if (!g)
                return src.fail(std::string("no glyph for '") + lines[l][c] + "'");
            for (int gy = 0; gy < 5; ++gy)
                for (int gx = 0; gx < 3; ++gx)
                    if (g->rows[static_cast<size_t>(gy)][gx] == '#')
                        for (int sy = 0; sy < scale; ++sy)
                            for (int sx = 0; sx < scale; ++sx)
                                bm.set(x0 + (static_cast<int>(c) * 4 + gx) * scale + sx,
                                       y0 + (static_cast<int>(l) * 6 + gy) * scale + sy);
        }
    }
    return emit(dir, name, bm);
}

bool process(const std::string &file, const std::string &dir) {
    Source src;
    src.file = file;
    src.in.open(file);
    if (!src.in)
        return src.fail("cannot open");
    std::string text;
    while (std::getline(src.in, text)) {
        ++src.line;
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream args(text);
        std::string directive;
        args >> directive;
        bool ok = directive == "icon" ? do_icon(src, args, dir)
                : directive == "tag"  ? do_tag(src, args, dir)
                                      : src.fail("unknown directive '" + directive + "'");
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: xbmgen OUTDIR SOURCE.art...\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i)
        if (!process(argv[i], argv[1]))
            return 1;
    return 0;
}
