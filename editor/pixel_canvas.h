// The editor's picture: a buffer of 32-bit pixels, 0x00RRGGBB, row by row from the top left,
// as an X11 TrueColor visual of depth 24 and a Windows DIB section of 32 bits both take it.
//
// Every operation is integer arithmetic on the pixels it touches, and edges are smoothed by
// counting the points of a 4 x 4 grid in each pixel that a shape covers, so that the same
// drawing gives the same bits on every target and compiler.
#pragma once

#include "baked_font.h"

#include <cstdint>
#include <string_view>
#include <vector>

using Colour = std::uint32_t;

struct PixelRect {
    int x, y, width, height;
    bool contains(int px, int py) const noexcept { return px >= x && px < x + width && py >= y && py < y + height; }
};

class PixelCanvas {
public:
    PixelCanvas(int width, int height);

    int width() const noexcept { return width_; }
    int height() const noexcept { return height_; }
    const std::vector<Colour>& pixels() const noexcept { return pixels_; }
    Colour at(int x, int y) const noexcept { return pixels_[static_cast<std::size_t>(y) * width_ + x]; }

    // Points outside the buffer are left out; nothing here ever writes outside it.
    void fill(const PixelRect& area, Colour colour) noexcept;
    // Mixes colour into the pixel by coverage 0 (nothing) to 255 (all), rounded to nearest.
    void blend(int x, int y, Colour colour, int coverage) noexcept;
    // Text with its pen starting at x on the baseline y; answers the width the pen moved.
    int text(int x, int baseline, std::string_view text, const BakedFont& font, Colour colour) noexcept;
    static int textWidth(std::string_view text, const BakedFont& font) noexcept;

    // Paints every pixel of area by the share of its 16 sample points, at sixteenths
    // 2, 6, 10 and 14 across and down, for which inside(x16, y16) holds; x16 and y16 are
    // the point in sixteenths of a pixel from the buffer's top left.
    template <typename Inside> void shape(const PixelRect& area, Colour colour, Inside inside) noexcept
    {
        for (int y = area.y; y < area.y + area.height; ++y) {
            for (int x = area.x; x < area.x + area.width; ++x) {
                int covered = 0;
                for (int sy = 2; sy < 16; sy += 4) {
                    for (int sx = 2; sx < 16; sx += 4) {
                        covered += inside(x * 16 + sx, y * 16 + sy) ? 1 : 0;
                    }
                }
                if (covered > 0) {
                    blend(x, y, colour, covered * 255 / 16);
                }
            }
        }
    }

private:
    int width_;
    int height_;
    std::vector<Colour> pixels_;
};
