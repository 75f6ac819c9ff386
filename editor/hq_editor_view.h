// The HQ editor's picture, drawn from what it shows and nothing else, into a pixel buffer:
// every target puts the same pixels on its screen, and tests read them as data.
#pragma once

#include "hq_editor_layout.h"
#include "pixel_canvas.h"
#include "soft_knee_hq_controls.h"

// Everything the picture shows.
struct HqEditorPicture {
    float values[kHqControlCount]; // in the controls' own units, as kHqControls gives them
    float inputPeak;               // recent peaks, linear, 1 being full scale
    float outputPeak;
    double sampleRate; // for the latency shown beside Quality
};

// The picture a new editor shows before it hears from the effect: every control at its initial value.
HqEditorPicture initialHqEditorPicture() noexcept;

// [ui thread] Draws the whole editor; canvas must be kHqEditorWidth x kHqEditorHeight times scale.
void drawHqEditor(PixelCanvas& canvas, const HqEditorPicture& picture, int scale);

// [ui thread] The transfer curve alone, as drawHqEditor puts it into kHqCurvePanel, in colour.
void drawHqTransferCurve(PixelCanvas& canvas, const HqEditorPicture& picture, int scale, Colour colour);

// Maps between the curve panel's pixels at scale and levels: the panel spans -1..1 on both axes,
// output growing upwards. Columns and rows are counted from the buffer's top left.
double hqCurveInputAt(double column, int scale) noexcept;
double hqCurveRowOf(double output, int scale) noexcept;
