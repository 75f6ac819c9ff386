// Rasterises a TrueType font into a C++ header of glyph coverage bitmaps, so that the
// editor draws text without a font file or a font library at run time. Run by the build:
//
//   font_baker FONT.ttf OUT.h PIXELS...
//
// One face per pixel size, each the printable ASCII characters 32 to 126, with FreeType's
// hinted 8-bit coverage. Exit code 0 when the header is written, 1 when the font cannot be
// read or the header written, 2 on a usage error.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kFirstCharacter = 32;
constexpr int kLastCharacter = 126;

struct GlyphRecord {
    int advance, left, top, width, height;
    std::size_t offset;
};

// Writes one face: its metrics, its glyphs and their coverage, as constants named by size.
bool bakeFace(FT_Face face, int pixels, std::ostringstream& out)
{
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixels)) != 0) {
        return false;
    }
    std::vector<GlyphRecord> glyphs;
    std::vector<unsigned char> coverage;
    for (int character = kFirstCharacter; character <= kLastCharacter; ++character) {
        if (FT_Load_Char(face, static_cast<FT_ULong>(character), FT_LOAD_RENDER | FT_LOAD_TARGET_NORMAL) != 0) {
            return false;
        }
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        GlyphRecord glyph{static_cast<int>((slot->advance.x + 32) >> 6),
                          slot->bitmap_left,
                          slot->bitmap_top,
                          static_cast<int>(bitmap.width),
                          static_cast<int>(bitmap.rows),
                          coverage.size()};
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            const unsigned char* line = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
            coverage.insert(coverage.end(), line, line + bitmap.width);
        }
        glyphs.push_back(glyph);
    }
    const FT_Size_Metrics& metrics = face->size->metrics;
    out << "inline constexpr unsigned char kCoverage" << pixels << "[] = {";
    for (std::size_t i = 0; i < coverage.size(); ++i) {
        out << (i % 24 == 0 ? "\n    " : "") << static_cast<int>(coverage[i]) << ",";
    }
    out << "\n    0};\n";
    out << "inline constexpr BakedGlyph kGlyphs" << pixels << "[] = {\n";
    for (const GlyphRecord& g : glyphs) {
        out << "    {" << g.advance << ", " << g.left << ", " << g.top << ", " << g.width << ", " << g.height << ", "
            << g.offset << "},\n";
    }
    out << "};\n";
    out << "inline constexpr BakedFont kFont" << pixels << "{" << pixels << ", " << ((metrics.ascender + 32) >> 6)
        << ", " << ((-metrics.descender + 32) >> 6) << ", kGlyphs" << pixels << ", kCoverage" << pixels << "};\n\n";
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: font_baker FONT.ttf OUT.h PIXELS...\n");
        return 2;
    }
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, argv[1], 0, &face) != 0) {
        std::fprintf(stderr, "font_baker: cannot read %s\n", argv[1]);
        return 1;
    }
    std::ostringstream out;
    out << "// Written by font_baker from " << face->family_name << " " << face->style_name
        << "; do not edit.\n#pragma once\n\n#include \"baked_font.h\"\n\n";
    for (int i = 3; i < argc; ++i) {
        const int pixels = std::atoi(argv[i]);
        if (pixels <= 0 || !bakeFace(face, pixels, out)) {
            std::fprintf(stderr, "font_baker: cannot rasterise %s at %s pixels\n", argv[1], argv[i]);
            return 1;
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    if (!file) {
        std::fprintf(stderr, "font_baker: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
