#include "hq_editor_view.h"

#include "editor_geometry.h"
#include "hq_parameters.h"
#include "hq_transfer.h"
#include "unit_text.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

constexpr Colour kBackground = 0x1e2126;
constexpr Colour kPanel = 0x14161a;
constexpr Colour kGrid = 0x2c3138;
constexpr Colour kText = 0xd8dce2;
constexpr Colour kDimText = 0x8a929c;
constexpr Colour kAccent = 0x7fd4ff;
constexpr Colour kKneeMark = 0xffb347;
constexpr Colour kPeakDot = 0xffffff;
constexpr Colour kTrack = 0x3a3f47;
constexpr Colour kFace = 0x2a2e35;
constexpr Colour kMeterLow = 0x5fcf6f;
constexpr Colour kMeterHigh = 0xe0504a;
constexpr Colour kSelectedText = 0x14161a;

// The meters' scale: -60 dBFS at the bottom to +6 at the top.
constexpr double kMeterFloorDb = -60.0;
constexpr double kMeterTopDb = 6.0;

// A knob's travel: from 1/8 turn clockwise of straight down to 7/8.
constexpr double kKnobStartTurn = 0.125;
constexpr double kKnobTravelTurns = 0.75;

struct Point16 {
    int x, y; // sixteenths of a pixel
};

void centredText(PixelCanvas& canvas, int centreX, int baseline, std::string_view text, const BakedFont& font,
                 Colour colour)
{
    canvas.text(centreX - PixelCanvas::textWidth(text, font) / 2, baseline, text, font, colour);
}

// Sixteenths of a pixel for a coordinate in pixels, rounded to nearest.
int sixteenths(double pixels) noexcept
{
    const double scaled = pixels * 16.0;
    return static_cast<int>(scaled < 0.0 ? scaled - 0.5 : scaled + 0.5);
}

void dot(PixelCanvas& canvas, Point16 centre, int radius16, Colour colour)
{
    const int r = radius16 / 16 + 1;
    const PixelRect area{centre.x / 16 - r, centre.y / 16 - r, 2 * r + 1, 2 * r + 1};
    const std::int64_t r2 = static_cast<std::int64_t>(radius16) * radius16;
    canvas.shape(area, colour, [&](int x, int y) {
        const std::int64_t dx = x - centre.x;
        const std::int64_t dy = y - centre.y;
        return dx * dx + dy * dy <= r2;
    });
}

// The ring between two radii from the knob's start to a share of its travel.
void arc(PixelCanvas& canvas, Point16 centre, int inner16, int outer16, double share, Colour colour)
{
    using namespace editor_geometry;
    const Direction from = directionOfTurn(kKnobStartTurn);
    const Direction to = directionOfTurn(kKnobStartTurn + kKnobTravelTurns * share);
    const double first = directionOrder(from.dx, from.dy);
    const double last = directionOrder(to.dx, to.dy);
    const int r = outer16 / 16 + 1;
    const PixelRect area{centre.x / 16 - r, centre.y / 16 - r, 2 * r + 1, 2 * r + 1};
    const std::int64_t in2 = static_cast<std::int64_t>(inner16) * inner16;
    const std::int64_t out2 = static_cast<std::int64_t>(outer16) * outer16;
    canvas.shape(area, colour, [&](int x, int y) {
        const std::int64_t dx = x - centre.x;
        const std::int64_t dy = y - centre.y;
        const std::int64_t d2 = dx * dx + dy * dy;
        if (d2 < in2 || d2 > out2) {
            return false;
        }
        const double order = directionOrder(static_cast<double>(dx), static_cast<double>(dy));
        return order >= first && order <= last;
    });
}

HqTransfer transferOf(const HqEditorPicture& p) noexcept
{
    return HqTransfer({p.values[kHqControlBoost], p.values[kHqControlKnee], p.values[kHqControlHardness],
                       p.values[kHqControlOutput], p.values[kHqControlMix]});
}

void drawCurvePanel(PixelCanvas& canvas, const HqEditorPicture& picture, int scale)
{
    const PixelRect panel = scaled(kHqCurvePanel, scale);
    canvas.fill(panel, kPanel);
    // Grid at -0.5, 0 and 0.5 of full scale on both axes, the axes brighter.
    for (int step = 1; step < 4; ++step) {
        const Colour colour = step == 2 ? kTrack : kGrid;
        canvas.fill({panel.x + panel.width * step / 4, panel.y, scale, panel.height}, colour);
        canvas.fill({panel.x, panel.y + panel.height * step / 4, panel.width, scale}, colour);
    }
    const HqTransfer transfer = transferOf(picture);
    // The knee on both sides, where the boosted input reaches it: a dashed line down the panel.
    const double knee = transfer.kneeInput();
    if (knee <= 1.0) {
        for (const double side : {-knee, knee}) {
            const double column = (side + 1.0) / 2.0 * panel.width + panel.x;
            const int x =
                static_cast<int>(column) < panel.x + panel.width ? static_cast<int>(column) : panel.x + panel.width - 1;
            for (int y = panel.y; y < panel.y + panel.height; y += 6 * scale) {
                canvas.fill({x, y, scale, 3 * scale}, kKneeMark);
            }
        }
    }
    drawHqTransferCurve(canvas, picture, scale, kAccent);
    const BakedFont& font = editorFont(scale);
    if (knee <= 1.0) {
        for (const double side : {-knee, knee}) {
            const double column = (side + 1.0) / 2.0 * panel.width + panel.x;
            dot(canvas, {sixteenths(column), sixteenths(hqCurveRowOf(transfer(side), scale))}, 48 * scale, kKneeMark);
        }
    }
    // The recent input peak, on the curve where it lands.
    const double peak = picture.inputPeak > 1.0f ? 1.0 : (picture.inputPeak > 0.0f ? picture.inputPeak : 0.0);
    const double peakColumn = (peak + 1.0) / 2.0 * panel.width + panel.x;
    const double peakRow = hqCurveRowOf(transfer(peak), scale);
    if (peakRow >= panel.y && peakRow < panel.y + panel.height) {
        dot(canvas, {sixteenths(peakColumn), sixteenths(peakRow)}, 64 * scale, kPeakDot);
    }
    canvas.text(panel.x + 6 * scale, panel.y + panel.height - 6 * scale, "in", font, kDimText);
    canvas.text(panel.x + 6 * scale, panel.y + 14 * scale, "out", font, kDimText);
}

void drawMeter(PixelCanvas& canvas, const PixelRect& area, float peak, std::string_view label, int scale)
{
    const PixelRect bar = scaled(area, scale);
    canvas.fill(bar, kPanel);
    // Row r from the bottom lights when the peak reaches the level at its middle: the levels come
    // from the core's own decibel conversion, and a row is a comparison, so the bar is exact.
    for (int row = 0; row < bar.height; ++row) {
        const double db = kMeterFloorDb + (kMeterTopDb - kMeterFloorDb) * (row + 0.5) / bar.height;
        if (static_cast<double>(peak) < hqDecibelsToGain(db)) {
            break;
        }
        canvas.fill({bar.x, bar.y + bar.height - 1 - row, bar.width, 1}, db > 0.0 ? kMeterHigh : kMeterLow);
    }
    // 0 dBFS marked across the bar.
    const int zero = static_cast<int>(bar.height * (kMeterTopDb / (kMeterTopDb - kMeterFloorDb)));
    canvas.fill({bar.x, bar.y + zero, bar.width, scale}, kText);
    centredText(canvas, bar.x + bar.width / 2, bar.y + bar.height + 16 * scale, label, editorFont(scale), kDimText);
}

void drawKnob(PixelCanvas& canvas, const HqEditorWidget& widget, float value, int scale)
{
    const PixelRect cell = scaled(widget.cell, scale);
    const BakedFont& font = editorFont(scale);
    const HqControl& control = kHqControls[widget.control];
    const int centreX = cell.x + cell.width / 2;
    centredText(canvas, centreX, cell.y + 14 * scale, control.name, font, kText);

    const Point16 centre{centreX * 16 + 8, (cell.y + kKnobCentreY * scale) * 16};
    const double share = hqNormalisedFromValue(widget.control, value);
    const double held = share < 0.0 ? 0.0 : (share > 1.0 ? 1.0 : share);
    arc(canvas, centre, kKnobInnerRadius * 16 * scale, kKnobOuterRadius * 16 * scale, 1.0, kTrack);
    arc(canvas, centre, kKnobInnerRadius * 16 * scale, kKnobOuterRadius * 16 * scale, held, kAccent);
    dot(canvas, centre, kKnobFaceRadius * 16 * scale, kFace);
    const editor_geometry::Direction pointer =
        editor_geometry::directionOfTurn(kKnobStartTurn + kKnobTravelTurns * held);
    const double reach = kKnobPointerRadius * 16.0 * scale;
    dot(canvas, {centre.x + sixteenths(pointer.dx * reach / 16.0), centre.y + sixteenths(pointer.dy * reach / 16.0)},
        40 * scale, kText);

    char text[16];
    hqDisplayText(widget.control, value, text);
    centredText(canvas, centreX, cell.y + 104 * scale, text, font, kText);
}

void drawSelector(PixelCanvas& canvas, const HqEditorWidget& widget, float value, double sampleRate, int scale)
{
    const PixelRect cell = scaled(widget.cell, scale);
    const BakedFont& font = editorFont(scale);
    const HqControl& control = kHqControls[widget.control];
    canvas.text(cell.x, cell.y + 12 * scale, control.name, font, kText);
    // The latency is the same at every Quality; shown here, as it is what a Quality costs elsewhere.
    char latency[16];
    unitText(static_cast<float>(hqLatencyFrames(sampleRate) * 1000.0 / sampleRate), 2, "ms", latency);
    const std::string_view latencyText = latency;
    const std::string_view lead = "latency ";
    const int latencyWidth = PixelCanvas::textWidth(lead, font) + PixelCanvas::textWidth(latencyText, font);
    const int pen = cell.x + cell.width - latencyWidth;
    canvas.text(pen + canvas.text(pen, cell.y + 12 * scale, lead, font, kDimText), cell.y + 12 * scale, latencyText,
                font, kText);

    const int steps = static_cast<int>(control.range.maximum - control.range.minimum) + 1;
    const int selected = static_cast<int>(value - control.range.minimum + 0.5f);
    for (int step = 0; step < steps; ++step) {
        const int left = cell.x + cell.width * step / steps;
        const int right = cell.x + cell.width * (step + 1) / steps;
        const PixelRect segment{left + scale, cell.y + kSelectorTop * scale, right - left - 2 * scale,
                                kSelectorHeight * scale};
        canvas.fill(segment, step == selected ? kAccent : kFace);
        char text[16];
        hqDisplayText(widget.control, control.range.minimum + static_cast<float>(step), text);
        centredText(canvas, (left + right) / 2, segment.y + 17 * scale, text, font,
                    step == selected ? kSelectedText : kText);
    }
}

} // namespace

HqEditorPicture initialHqEditorPicture() noexcept
{
    HqEditorPicture picture{};
    for (int index = 0; index < kHqControlCount; ++index) {
        picture.values[index] = kHqControls[index].range.initial;
    }
    picture.sampleRate = 48000.0;
    return picture;
}

double hqCurveInputAt(double column, int scale) noexcept
{
    const PixelRect panel = scaled(kHqCurvePanel, scale);
    return (column - panel.x) / panel.width * 2.0 - 1.0;
}

double hqCurveRowOf(double output, int scale) noexcept
{
    const PixelRect panel = scaled(kHqCurvePanel, scale);
    return panel.y + (1.0 - output) / 2.0 * panel.height;
}

void drawHqTransferCurve(PixelCanvas& canvas, const HqEditorPicture& picture, int scale, Colour colour)
{
    // The curve's row at each quarter column, in sixteenths of a pixel, held a little beyond the
    // panel so that no figure overflows. A sample point belongs to the stroke when it lies
    // within half the stroke's width above or below the rows the curve takes within half
    // that width to either side: a pen of a square tip, so that a steep stretch is as wide as a
    // flat one.
    const PixelRect panel = scaled(kHqCurvePanel, scale);
    const HqTransfer transfer = transferOf(picture);
    const int reach = scale + 1; // quarter columns either side
    const int quarters = panel.width * 4;
    std::vector<int> rows(static_cast<std::size_t>(quarters + 2 * reach));
    const double low = panel.y - 4.0 * scale;
    const double high = panel.y + panel.height + 4.0 * scale;
    for (int q = -reach; q < quarters + reach; ++q) {
        const double column = panel.x + (q + 0.5) / 4.0;
        double row = hqCurveRowOf(transfer(hqCurveInputAt(column, scale)), scale);
        row = row != row ? high : (row < low ? low : (row > high ? high : row));
        rows[static_cast<std::size_t>(q + reach)] = sixteenths(row);
    }
    const int half = 10 * scale;
    canvas.shape(panel, colour, [&](int x, int y) {
        const auto q = static_cast<std::size_t>((x - panel.x * 16) / 4 + reach);
        const auto [top, bottom] = std::minmax_element(rows.begin() + static_cast<std::ptrdiff_t>(q) - reach,
                                                       rows.begin() + static_cast<std::ptrdiff_t>(q) + reach + 1);
        return y >= *top - half && y <= *bottom + half;
    });
}

void drawHqEditor(PixelCanvas& canvas, const HqEditorPicture& picture, int scale)
{
    canvas.fill({0, 0, canvas.width(), canvas.height()}, kBackground);
    canvas.text(12 * scale, 24 * scale, "SoftKneeShaper HQ", editorFont(scale), kText);
    drawCurvePanel(canvas, picture, scale);
    drawMeter(canvas, kHqInputMeter, picture.inputPeak, "In", scale);
    drawMeter(canvas, kHqOutputMeter, picture.outputPeak, "Out", scale);
    for (const HqEditorWidget& widget : kHqEditorWidgets) {
        const float value = picture.values[widget.control];
        if (widget.kind == HqWidgetKind::knob) {
            drawKnob(canvas, widget, value, scale);
        } else {
            drawSelector(canvas, widget, value, picture.sampleRate, scale);
        }
    }
}
