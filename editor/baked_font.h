// Text for the editor from glyph bitmaps rasterised at build time (font_baker.cpp), so that
// no target needs a font file or a font library at run time. The printable ASCII
// characters 32 to 126 only; anything else draws as a space.
#pragma once

#include <cstddef>

// One character: where its coverage bitmap sits against the pen on the baseline, and how far
// the pen moves after it. Coverage is 8 bits a pixel, row by row, from offset.
struct BakedGlyph {
    int advance; // pixels the pen moves right
    int left;    // bitmap's left edge, right of the pen
    int top;     // bitmap's top row, above the baseline
    int width;
    int height;
    std::size_t offset;
};

struct BakedFont {
    int pixels;               // the em size it was rasterised at
    int ascent;               // pixels above the baseline
    int descent;              // pixels below it
    const BakedGlyph* glyphs; // characters 32 to 126
    const unsigned char* coverage;

    const BakedGlyph& glyph(char character) const noexcept
    {
        const int code = static_cast<unsigned char>(character);
        return glyphs[code >= 32 && code <= 126 ? code - 32 : 0];
    }
};

// The editor's text face at a whole scale (1 to kMaxEditorScale; anything else gives scale 1's).
const BakedFont& editorFont(int scale) noexcept;
