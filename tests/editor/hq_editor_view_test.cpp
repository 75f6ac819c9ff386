// The HQ editor's picture read as data: where the curve lies, whether every text fits its
// place, and the exact pixels of a table of settings.
#include "hq_editor_view.h"
#include "hq_parameters.h"
#include "hq_transfer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct Setting {
    const char* name;
    float boost, knee, hardness, outputDb, mixPercent, quality;
    float inputPeak, outputPeak;
};

// Default, the corners of each knob, and settings whose curve leaves the panel or is flat.
constexpr Setting kSettings[] = {
    {"initial", 1.0f, 0.5f, 0.0f, 0.0f, 100.0f, 3.0f, 0.0f, 0.0f},
    {"boost 11", 11.0f, 0.5f, 0.0f, 0.0f, 100.0f, 3.0f, 0.5f, 0.9f},
    {"hard knee", 6.0f, 0.3f, 1.0f, 0.0f, 100.0f, 0.0f, 1.0f, 0.3f},
    {"loud output", 4.0f, 0.8f, 0.5f, 24.0f, 100.0f, 4.0f, 2.0f, 8.0f},
    {"quiet half mix", 11.0f, 0.0f, 0.9f, -24.0f, 50.0f, 1.0f, 0.01f, 0.001f},
    {"dry", 11.0f, 1.0f, 0.25f, -6.0f, 0.0f, 2.0f, 0.25f, 0.25f},
};

HqEditorPicture pictureOf(const Setting& s)
{
    HqEditorPicture picture = initialHqEditorPicture();
    const float values[] = {s.boost, s.knee, s.hardness, s.outputDb, s.mixPercent, s.quality};
    std::memcpy(picture.values, values, sizeof values);
    picture.inputPeak = s.inputPeak;
    picture.outputPeak = s.outputPeak;
    return picture;
}

std::uint64_t fnv1a(const std::vector<Colour>& pixels)
{
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const Colour pixel : pixels) {
        for (int shift = 0; shift < 32; shift += 8) {
            hash = (hash ^ ((pixel >> shift) & 0xffu)) * 0x100000001b3u;
        }
    }
    return hash;
}

} // namespace

TEST(HqEditorView, CurveIsDrawnWhereTheCoreCurvePutsIt)
{
    for (const Setting& s : kSettings) {
        for (const int scale : {1, 2}) {
            SCOPED_TRACE(std::string(s.name) + " at scale " + std::to_string(scale));
            const HqEditorPicture picture = pictureOf(s);
            PixelCanvas canvas(kHqEditorWidth * scale, kHqEditorHeight * scale);
            drawHqTransferCurve(canvas, picture, scale, 0xffffff);
            const HqTransfer transfer({s.boost, s.knee, s.hardness, s.outputDb, s.mixPercent});
            const PixelRect panel = scaled(kHqCurvePanel, scale);
            int checked = 0;
            for (int x = panel.x; x < panel.x + panel.width; ++x) {
                // The rows the curve takes across the column, from its left edge to its right: one
                // row where it is flat, a run where it is steep.
                double top = 1e9;
                double bottom = -1e9;
                for (const double at : {0.0, 0.25, 0.5, 0.75, 1.0}) {
                    const double row = hqCurveRowOf(transfer(hqCurveInputAt(x + at, scale)), scale);
                    top = std::min(top, row);
                    bottom = std::max(bottom, row);
                }
                // Columns whose curve stays well inside the panel: at its edge the stroke is cut.
                if (top < panel.y + 3 * scale || bottom > panel.y + panel.height - 3 * scale) {
                    continue;
                }
                double weight = 0.0;
                double sum = 0.0;
                for (int y = panel.y; y < panel.y + panel.height; ++y) {
                    const double coverage = canvas.at(x, y) & 0xffu;
                    weight += coverage;
                    sum += coverage * (y + 0.5);
                }
                ASSERT_GT(weight, 0.0) << "column " << x << " has no curve";
                const double centre = sum / weight;
                EXPECT_TRUE(centre >= top - 1.0 && centre <= bottom + 1.0)
                    << "column " << x << ": drawn at " << centre << ", curve from " << top << " to " << bottom;
                ++checked;
            }
            EXPECT_GT(checked, 0);
        }
    }
}

TEST(HqEditorView, EveryControlsTextStaysInsideItsCellAndTheWindow)
{
    for (const int scale : {1, 2, 3, 4}) {
        const BakedFont& font = editorFont(scale);
        for (const HqEditorWidget& widget : kHqEditorWidgets) {
            const PixelRect cell = scaled(widget.cell, scale);
            ASSERT_LE(cell.x + cell.width, kHqEditorWidth * scale);
            ASSERT_LE(cell.y + cell.height, kHqEditorHeight * scale);
            const HqControl& control = kHqControls[widget.control];
            EXPECT_LE(PixelCanvas::textWidth(control.name, font), cell.width) << control.name;
            for (int step = 0; step <= 200; ++step) {
                const float value =
                    control.range.minimum + (control.range.maximum - control.range.minimum) * step / 200;
                char text[16];
                hqDisplayText(widget.control, value, text);
                const int room = widget.kind == HqWidgetKind::knob ? cell.width : cell.width / 5;
                EXPECT_LE(PixelCanvas::textWidth(text, font), room) << control.name << " " << text;
            }
        }
    }
}

// The pixels of each setting, as a hash of the picture's bytes; every target that draws the
// editor must give these. A change to the drawing changes them on purpose: look at the new
// pictures, then take the new hashes.
TEST(HqEditorView, PicturesOfATableOfSettingsHaveTheirKnownPixels)
{
    const std::uint64_t expected[][2] = {
        {0x5447be6a2e98a387u, 0xca9a58f3ecdfa898u}, {0x5655e0e90cee0bb2u, 0x2b672f31c3c7e1ffu},
        {0xe10b870028611513u, 0xc3ec35c1281c444eu}, {0x9fa92a4d60481e65u, 0xe230b3fb51a2f011u},
        {0x692b69816a652356u, 0xa37f331414303c67u}, {0x28adf2b7887a36c3u, 0x8d2947042a729072u},
    };
    static_assert(std::size(expected) == std::size(kSettings));
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        for (const int scale : {1, 2}) {
            PixelCanvas canvas(kHqEditorWidth * scale, kHqEditorHeight * scale);
            drawHqEditor(canvas, pictureOf(kSettings[i]), scale);
            EXPECT_EQ(fnv1a(canvas.pixels()), expected[i][scale - 1])
                << kSettings[i].name << " at scale " << scale << std::hex << ": 0x" << fnv1a(canvas.pixels());
        }
    }
}
