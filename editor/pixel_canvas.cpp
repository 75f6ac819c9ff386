#include "pixel_canvas.h"

#include <cstddef>

PixelCanvas::PixelCanvas(int width, int height)
    : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u)
{
}

void PixelCanvas::fill(const PixelRect& area, Colour colour) noexcept
{
    const int left = area.x < 0 ? 0 : area.x;
    const int top = area.y < 0 ? 0 : area.y;
    const int right = area.x + area.width > width_ ? width_ : area.x + area.width;
    const int bottom = area.y + area.height > height_ ? height_ : area.y + area.height;
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            pixels_[static_cast<std::size_t>(y) * width_ + x] = colour;
        }
    }
}

void PixelCanvas::blend(int x, int y, Colour colour, int coverage) noexcept
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0) {
        return;
    }
    Colour& pixel = pixels_[static_cast<std::size_t>(y) * width_ + x];
    if (coverage >= 255) {
        pixel = colour;
        return;
    }
    // Each channel: (new * c + old * (255 - c)) / 255, rounded to nearest.
    Colour mixed = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int top = static_cast<int>((colour >> shift) & 0xffu);
        const int under = static_cast<int>((pixel >> shift) & 0xffu);
        const int channel = (top * coverage + under * (255 - coverage) + 127) / 255;
        mixed |= static_cast<Colour>(channel) << shift;
    }
    pixel = mixed;
}

int PixelCanvas::text(int x, int baseline, std::string_view text, const BakedFont& font, Colour colour) noexcept
{
    int pen = x;
    for (const char character : text) {
        const BakedGlyph& glyph = font.glyph(character);
        const unsigned char* coverage = font.coverage + glyph.offset;
        for (int row = 0; row < glyph.height; ++row) {
            for (int column = 0; column < glyph.width; ++column) {
                blend(pen + glyph.left + column, baseline - glyph.top + row, colour,
                      coverage[row * glyph.width + column]);
            }
        }
        pen += glyph.advance;
    }
    return pen - x;
}

int PixelCanvas::textWidth(std::string_view text, const BakedFont& font) noexcept
{
    int width = 0;
    for (const char character : text) {
        width += font.glyph(character).advance;
    }
    return width;
}
