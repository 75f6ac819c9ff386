#include "plot.h"

#include "atomic_output.h"
#include "user_error.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

namespace plughost {

namespace {

constexpr double kSize = 640.0;
constexpr double kMargin = 64.0;

class Frame {
public:
    Frame(double xRange, double yRange) : xRange(xRange), yRange(yRange) {}
    double x(double value) const { return kMargin + (value + xRange) / (2 * xRange) * (kSize - 2 * kMargin); }
    double y(double value) const { return kSize - kMargin - (value + yRange) / (2 * yRange) * (kSize - 2 * kMargin); }
    double xRange, yRange;
};

void drawText(cairo_t* cr, double x, double y, const std::string& text, double alignX)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - alignX * extents.width - extents.x_bearing, y);
    cairo_show_text(cr, text.c_str());
}

std::string tickText(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void drawGrid(cairo_t* cr, const Frame& frame)
{
    cairo_set_font_size(cr, 12.0);
    cairo_set_line_width(cr, 1.0);
    const double step = gridStep(2 * std::max(frame.xRange, frame.yRange));
    // Lines at whole multiples of the step, counted, so no range is too small or too large to end.
    const auto lines = [step](double range) { return static_cast<int>(std::floor(range / step * (1.0 + 1e-9))); };
    for (int k = -lines(frame.xRange); k <= lines(frame.xRange); ++k) {
        const double v = k * step;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, frame.x(v), frame.y(-frame.yRange));
        cairo_line_to(cr, frame.x(v), frame.y(frame.yRange));
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        drawText(cr, frame.x(v), kSize - kMargin + 18, tickText(v), 0.5);
    }
    for (int k = -lines(frame.yRange); k <= lines(frame.yRange); ++k) {
        const double v = k * step;
        cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
        cairo_move_to(cr, frame.x(-frame.xRange), frame.y(v));
        cairo_line_to(cr, frame.x(frame.xRange), frame.y(v));
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        drawText(cr, kMargin - 8, frame.y(v) + 4, tickText(v), 1.0);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.5);
    cairo_move_to(cr, frame.x(-frame.xRange), frame.y(0));
    cairo_line_to(cr, frame.x(frame.xRange), frame.y(0));
    cairo_move_to(cr, frame.x(0), frame.y(-frame.yRange));
    cairo_line_to(cr, frame.x(0), frame.y(frame.yRange));
    cairo_stroke(cr);
    cairo_rectangle(cr, kMargin, kMargin, kSize - 2 * kMargin, kSize - 2 * kMargin);
    cairo_stroke(cr);
}

void drawLine(cairo_t* cr, const Frame& frame, const std::vector<double>& xs, const std::vector<double>& ys)
{
    bool drawing = false;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        if (!std::isfinite(ys[i])) {
            drawing = false; // a gap where the module answered NaN or infinity
            continue;
        }
        const double clamped = std::clamp(ys[i], -frame.yRange, frame.yRange);
        if (drawing)
            cairo_line_to(cr, frame.x(xs[i]), frame.y(clamped));
        else
            cairo_move_to(cr, frame.x(xs[i]), frame.y(clamped));
        drawing = true;
    }
    cairo_stroke(cr);
}

void drawLegendEntry(cairo_t* cr, int row, const char* text, double r, double g, double b, bool dashed)
{
    const double y = kMargin + 20 + 18 * row;
    const double x = kMargin + 14;
    cairo_set_source_rgb(cr, r, g, b);
    cairo_set_line_width(cr, 2.0);
    const double dash = 6.0;
    cairo_set_dash(cr, &dash, dashed ? 1 : 0, 0);
    cairo_move_to(cr, x, y - 4);
    cairo_line_to(cr, x + 28, y - 4);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    drawText(cr, x + 36, y, text, 0.0);
}

// The colours of a family's curves, in turn.
struct Colour {
    double r, g, b;
};
constexpr Colour kFamilyColours[] = {{0.12, 0.35, 0.75}, {0.85, 0.37, 0.0}, {0.0, 0.55, 0.3}, {0.8, 0.1, 0.25},
                                     {0.5, 0.25, 0.7},   {0.55, 0.4, 0.1},  {0.0, 0.6, 0.65}, {0.3, 0.3, 0.3}};

// One curve in full (both outputs where they differ), or a family by left outputs alone.
void drawPlot(cairo_t* cr, const std::vector<LabelledCurve>& family, const std::string& title)
{
    const TransferCurve& curve = family.front().curve;
    double reach = curve.range;
    for (const LabelledCurve& member : family)
        for (const auto* channel : {&member.curve.left, &member.curve.right})
            for (const double v : *channel)
                if (std::isfinite(v))
                    reach = std::max(reach, std::fabs(v));
    const Frame frame(curve.range, reach);

    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    drawGrid(cr, frame);

    cairo_set_font_size(cr, 14.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    drawText(cr, kSize / 2, kMargin - 24, title, 0.5);
    cairo_set_font_size(cr, 13.0);
    drawText(cr, kSize / 2, kSize - 18, "input level", 0.5);
    cairo_save(cr);
    cairo_translate(cr, 20, kSize / 2);
    cairo_rotate(cr, -std::numbers::pi / 2);
    drawText(cr, 0, 0, "output level", 0.5);
    cairo_restore(cr);

    cairo_rectangle(cr, kMargin, kMargin, kSize - 2 * kMargin, kSize - 2 * kMargin);
    cairo_clip(cr);
    const double dash = 6.0;
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_set_line_width(cr, 1.5);
    cairo_set_dash(cr, &dash, 1, 0);
    cairo_move_to(cr, frame.x(-curve.range), frame.y(-curve.range));
    cairo_line_to(cr, frame.x(curve.range), frame.y(curve.range));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);

    if (family.size() > 1) {
        cairo_set_line_width(cr, 2.0);
        for (std::size_t i = 0; i < family.size(); ++i) {
            const Colour& colour = kFamilyColours[i % std::size(kFamilyColours)];
            cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
            drawLine(cr, frame, family[i].curve.input, family[i].curve.left);
        }
        cairo_reset_clip(cr);
        cairo_set_font_size(cr, 12.0);
        for (std::size_t i = 0; i < family.size(); ++i) {
            const Colour& colour = kFamilyColours[i % std::size(kFamilyColours)];
            drawLegendEntry(cr, static_cast<int>(i), family[i].label.c_str(), colour.r, colour.g, colour.b, false);
        }
        drawLegendEntry(cr, static_cast<int>(family.size()), "y = x", 0.55, 0.55, 0.55, true);
        return;
    }
    cairo_set_line_width(cr, 2.5);
    cairo_set_source_rgb(cr, 0.12, 0.35, 0.75);
    drawLine(cr, frame, curve.input, curve.left);
    const bool channelsDiffer = !curve.right.empty() && curve.right != curve.left;
    if (channelsDiffer) {
        cairo_set_line_width(cr, 1.5);
        cairo_set_source_rgb(cr, 0.85, 0.3, 0.1);
        cairo_set_dash(cr, &dash, 1, 0);
        drawLine(cr, frame, curve.input, curve.right);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    cairo_reset_clip(cr);

    cairo_set_font_size(cr, 12.0);
    drawLegendEntry(cr, 0, channelsDiffer ? "left output" : "output", 0.12, 0.35, 0.75, false);
    if (channelsDiffer)
        drawLegendEntry(cr, 1, "right output", 0.85, 0.3, 0.1, true);
    drawLegendEntry(cr, channelsDiffer ? 2 : 1, "y = x", 0.55, 0.55, 0.55, true);
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    if (text.size() < suffix.size())
        return false;
    return std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

} // namespace

// A grid step of 1, 2 or 5 times a power of ten that gives four to ten lines.
double gridStep(double span)
{
    const double raw = span / 8.0;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (factor * power >= raw)
            return factor * power;
    return 10.0 * power;
}

void drawTransferCurve(const AtomicOutput& output, const TransferCurve& curve, const std::string& title)
{
    drawTransferCurves(output, {{"", curve}}, title);
}

void drawTransferCurves(const AtomicOutput& output, const std::vector<LabelledCurve>& family, const std::string& title)
{
    const std::string& path = output.target();
    const bool svg = endsWith(path, ".svg");
    if (!svg && !endsWith(path, ".png"))
        throw UserError(path + ": the curve is written as .svg, .png or .csv");
    cairo_surface_t* surface =
        svg ? cairo_svg_surface_create(output.path().c_str(), kSize, kSize)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(kSize), static_cast<int>(kSize));
    cairo_t* cr = cairo_create(surface);
    drawPlot(cr, family, title);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_status_t status = cairo_surface_status(surface);
    if (!svg && status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_write_to_png(surface, output.path().c_str());
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw UserError(path + ": cannot write the plot: " + cairo_status_to_string(status));
}

} // namespace plughost
