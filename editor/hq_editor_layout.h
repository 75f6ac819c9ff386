// Where everything in the HQ editor sits, at scale 1; scale 2 doubles every figure. The
// controls come from one table, so that another control is one more row and a cell for it.
#pragma once

#include "pixel_canvas.h"
#include "soft_knee_hq_controls.h"

#include <cstdint>

inline constexpr int kHqEditorWidth = 600;
inline constexpr int kHqEditorHeight = 320;

enum class HqWidgetKind {
    knob,    // drawn as a ring with the value's arc and a pointer; dragged, wheeled, reset
    selector // one segment per step of the control, labelled with its display name
};

struct HqEditorWidget {
    HqControlIndex control;
    HqWidgetKind kind;
    PixelRect cell; // at scale 1: the name, the widget and its value text, and where the mouse acts on it
};

// The controls the editor shows, in the order a reader scans them.
inline constexpr HqEditorWidget kHqEditorWidgets[] = {
    {kHqControlBoost, HqWidgetKind::knob, {330, 36, 86, 112}},
    {kHqControlKnee, HqWidgetKind::knob, {418, 36, 86, 112}},
    {kHqControlHardness, HqWidgetKind::knob, {506, 36, 86, 112}},
    {kHqControlOutput, HqWidgetKind::knob, {330, 152, 86, 112}},
    {kHqControlMix, HqWidgetKind::knob, {418, 152, 86, 112}},
    {kHqControlQuality, HqWidgetKind::selector, {330, 268, 262, 44}},
};
inline constexpr int kHqEditorWidgetCount = static_cast<int>(sizeof kHqEditorWidgets / sizeof kHqEditorWidgets[0]);

// The transfer curve's panel and the two meters, at scale 1.
inline constexpr PixelRect kHqCurvePanel{12, 36, 256, 256};
inline constexpr PixelRect kHqInputMeter{278, 36, 14, 256};
inline constexpr PixelRect kHqOutputMeter{300, 36, 14, 256};

// Inside a knob's cell, at scale 1: the centre, the ring's radii and the pointer's.
inline constexpr int kKnobCentreY = 56;
inline constexpr int kKnobOuterRadius = 26;
inline constexpr int kKnobInnerRadius = 21;
inline constexpr int kKnobFaceRadius = 18;
inline constexpr int kKnobPointerRadius = 12;
// Inside the selector's cell: the band of segments.
inline constexpr int kSelectorTop = 18;
inline constexpr int kSelectorHeight = 24;

inline PixelRect scaled(const PixelRect& r, int scale) noexcept
{
    return {r.x * scale, r.y * scale, r.width * scale, r.height * scale};
}

// The widget under a point in pixels at scale, or -1; an index into kHqEditorWidgets.
inline int hqWidgetAt(int x, int y, int scale) noexcept
{
    for (int i = 0; i < kHqEditorWidgetCount; ++i) {
        if (scaled(kHqEditorWidgets[i].cell, scale).contains(x, y)) {
            return i;
        }
    }
    return -1;
}

// The selector's segment under x, 0 to steps - 1, held to the ends.
inline int hqSegmentAt(const HqEditorWidget& widget, int x, int scale, int steps) noexcept
{
    const PixelRect cell = scaled(widget.cell, scale);
    const int segment = (x - cell.x) * steps / cell.width;
    return segment < 0 ? 0 : (segment >= steps ? steps - 1 : segment);
}
