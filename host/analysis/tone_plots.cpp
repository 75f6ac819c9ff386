#include "tone_plots.h"

#include "module.h"
#include "plot.h"

#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>

namespace plughost {

namespace {

// A plotting area: value ranges mapped onto a rectangle, x on a log scale when asked.
struct Axes {
    double left, top, width, height;
    double xMin, xMax, yMin, yMax;
    bool logX;

    double x(double value) const
    {
        const double t = logX ? std::log10(value / xMin) / std::log10(xMax / xMin) : (value - xMin) / (xMax - xMin);
        return left + t * width;
    }
    double y(double value) const { return top + (yMax - std::clamp(value, yMin, yMax)) / (yMax - yMin) * height; }
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

void drawText(cairo_t* cr, double x, double y, const std::string& text, double alignX)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, x - alignX * extents.width - extents.x_bearing, y);
    cairo_show_text(cr, text.c_str());
}

double textWidth(cairo_t* cr, const std::string& text)
{
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    return extents.x_advance;
}

std::string format(const char* pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string frequencyText(double hz)
{
    if (hz >= 1000.0)
        return format("%gk", hz / 1000.0);
    return format("%g", hz);
}

std::string frequencyWithUnit(double hz)
{
    return hz >= 1000.0 ? format("%g kHz", hz / 1000.0) : format("%g Hz", hz);
}

std::string percentAndDb(double ratio)
{
    return format("%.4g %%", 100.0 * ratio) + format("  (%.2f dB)", 20.0 * std::log10(ratio));
}

void gridLine(cairo_t* cr, double x0, double y0, double x1, double y1)
{
    cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
}

void drawHorizontalGrid(cairo_t* cr, const Axes& axes, const std::string& label)
{
    cairo_set_font_size(cr, 11.0);
    const double step = gridStep(axes.yMax - axes.yMin);
    for (int k = static_cast<int>(std::ceil(axes.yMin / step)); k * step <= axes.yMax + 1e-9; ++k) {
        gridLine(cr, axes.left, axes.y(k * step), axes.right(), axes.y(k * step));
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        drawText(cr, axes.left - 6, axes.y(k * step) + 4, format("%g", k * step), 1.0);
    }
    cairo_save(cr);
    cairo_translate(cr, axes.left - 44, axes.top + axes.height / 2);
    cairo_rotate(cr, -std::numbers::pi / 2);
    cairo_set_font_size(cr, 12.0);
    drawText(cr, 0, 0, label, 0.5);
    cairo_restore(cr);
}

void drawLinearXGrid(cairo_t* cr, const Axes& axes, bool labels)
{
    cairo_set_font_size(cr, 11.0);
    const double step = gridStep(axes.xMax - axes.xMin);
    for (int k = static_cast<int>(std::ceil(axes.xMin / step)); k * step <= axes.xMax + 1e-9; ++k) {
        gridLine(cr, axes.x(k * step), axes.top, axes.x(k * step), axes.bottom());
        if (labels) {
            cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
            drawText(cr, axes.x(k * step), axes.bottom() + 16, format("%g", k * step), 0.5);
        }
    }
}

// Lines at 1, 2 and 5 times each power of ten; every one labelled, space permitting.
void drawLogXGrid(cairo_t* cr, const Axes& axes)
{
    cairo_set_font_size(cr, 11.0);
    double lastLabel = -1e9;
    for (double decade = std::pow(10.0, std::floor(std::log10(axes.xMin))); decade <= axes.xMax; decade *= 10.0)
        for (const double factor : {1.0, 2.0, 5.0}) {
            const double value = factor * decade;
            if (value < axes.xMin || value > axes.xMax)
                continue;
            gridLine(cr, axes.x(value), axes.top, axes.x(value), axes.bottom());
            if (axes.x(value) - lastLabel < 30)
                continue;
            cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
            drawText(cr, axes.x(value), axes.bottom() + 16, frequencyText(value), 0.5);
            lastLabel = axes.x(value);
        }
}

void drawFrame(cairo_t* cr, const Axes& axes)
{
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.5);
    cairo_rectangle(cr, axes.left, axes.top, axes.width, axes.height);
    cairo_stroke(cr);
}

void drawPolyline(cairo_t* cr, const Axes& axes, const std::vector<double>& xs, const std::vector<double>& ys)
{
    bool drawing = false;
    for (std::size_t i = 0; i < xs.size(); ++i) {
        if (!std::isfinite(ys[i])) {
            drawing = false;
            continue;
        }
        if (drawing)
            cairo_line_to(cr, axes.x(xs[i]), axes.y(ys[i]));
        else
            cairo_move_to(cr, axes.x(xs[i]), axes.y(ys[i]));
        drawing = true;
    }
    cairo_stroke(cr);
}

void setDash(cairo_t* cr, bool dashed)
{
    const double dash = 6.0;
    cairo_set_dash(cr, &dash, dashed ? 1 : 0, 0);
}

// Lines of text in a white box at a corner of the axes: top left or top right.
void drawFigureBox(cairo_t* cr, const Axes& axes, const std::vector<std::string>& lines, bool atRight)
{
    cairo_set_font_size(cr, 11.5);
    double width = 0.0;
    for (const std::string& line : lines)
        width = std::max(width, textWidth(cr, line));
    const double lineHeight = 15.0;
    const double boxWidth = width + 16, boxHeight = lineHeight * static_cast<double>(lines.size()) + 10;
    const double x = atRight ? axes.right() - boxWidth - 8 : axes.left + 8;
    const double y = axes.top + 8;
    cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.92);
    cairo_rectangle(cr, x, y, boxWidth, boxHeight);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    for (std::size_t i = 0; i < lines.size(); ++i)
        drawText(cr, x + 8, y + 5 + lineHeight * static_cast<double>(i + 1) - 3, lines[i], 0.0);
}

// A legend line in the top left corner of the axes.
void drawLegend(cairo_t* cr, const Axes& axes, int row, const std::string& text, double r, double g, double b,
                bool dashed)
{
    const double x = axes.left + 12;
    const double y = axes.top + 18 + 16.0 * row;
    cairo_set_source_rgb(cr, r, g, b);
    cairo_set_line_width(cr, 2.0);
    setDash(cr, dashed);
    cairo_move_to(cr, x, y - 4);
    cairo_line_to(cr, x + 24, y - 4);
    cairo_stroke(cr);
    setDash(cr, false);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    cairo_set_font_size(cr, 11.0);
    drawText(cr, x + 30, y, text, 0.0);
}

bool endsWith(const std::string& text, const std::string& suffix)
{
    return text.size() >= suffix.size() &&
           std::equal(suffix.rbegin(), suffix.rend(), text.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

void writePicture(const std::string& writePath, const std::string& targetPath, double width, double height,
                  const std::function<void(cairo_t*)>& draw)
{
    const bool svg = endsWith(targetPath, ".svg");
    if (!svg && !endsWith(targetPath, ".png"))
        throw UserError(targetPath + ": a picture is written as .svg or .png");
    cairo_surface_t* surface =
        svg ? cairo_svg_surface_create(writePath.c_str(), width, height)
            : cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width), static_cast<int>(height));
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1.0, 1.0, 1.0);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_status_t status = cairo_surface_status(surface);
    if (!svg && status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_write_to_png(surface, writePath.c_str());
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS)
        status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        throw UserError(targetPath + ": cannot write the plot: " + cairo_status_to_string(status));
}

void drawTitle(cairo_t* cr, double width, const std::string& title)
{
    cairo_set_font_size(cr, 14.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    drawText(cr, width / 2, 26, title, 0.5);
}

constexpr double kSpectrumWidth = 860.0;
constexpr double kSpectrumHeight = 540.0;

std::vector<std::string> spectrumFigureLines(const ToneFigures& figures)
{
    std::vector<std::string> lines;
    lines.push_back("fundamental  " + format("%.2f dBFS", 20.0 * std::log10(figures.fundamental.amplitude)) + " at " +
                    frequencyWithUnit(figures.tone));
    lines.push_back("THD     " + percentAndDb(figures.thd));
    lines.push_back("THD+N  " + percentAndDb(figures.thdPlusNoise));
    if (figures.largestOther.aboveFloor)
        lines.push_back("largest other  " + format("%.2f dB", figures.largestOther.relativeDb) + " at " +
                        format("%.1f Hz", figures.largestOther.frequency));
    else
        lines.push_back("largest other  below the floor");
    lines.push_back("floor  " + format("%.1f dB", figures.floorDb) + " re fundamental");
    lines.push_back(std::string(kAnalysisWindowName) + " window, " +
                    format("%.0f", static_cast<double>(figures.length)) + " points");
    return lines;
}

void drawSpectrumPlot(cairo_t* cr, const ToneSpectrum& spectrum, const std::string& title)
{
    const ToneFigures& figures = spectrum.figures;
    const double nyquist = figures.sampleRate / 2.0;
    const double xMin = std::pow(10.0, std::floor(std::log10(std::min(20.0, figures.tone / 2.0))));
    double highest = -400.0, lowest = 0.0;
    for (std::size_t k = 1; k < spectrum.levelDbfs.size(); ++k)
        if (std::isfinite(spectrum.levelDbfs[k])) {
            highest = std::max(highest, spectrum.levelDbfs[k]);
            lowest = std::min(lowest, spectrum.levelDbfs[k]);
        }
    // Room above the loudest peak for its marker.
    const double yMax = std::max(0.0, 10.0 * std::ceil((highest + 12.0) / 10.0));
    const double yMin = std::clamp(20.0 * std::floor(lowest / 20.0), yMax - 200.0, yMax - 120.0);
    const Axes axes{76, 44, kSpectrumWidth - 76 - 24, kSpectrumHeight - 44 - 52, xMin, nyquist, yMin, yMax, true};

    drawTitle(cr, kSpectrumWidth, title);
    drawLogXGrid(cr, axes);
    drawHorizontalGrid(cr, axes, "level (dBFS)");
    cairo_set_font_size(cr, 12.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    drawText(cr, axes.left + axes.width / 2, kSpectrumHeight - 10, "frequency (Hz)", 0.5);

    cairo_save(cr);
    cairo_rectangle(cr, axes.left, axes.top, axes.width, axes.height);
    cairo_clip(cr);
    // The loudest bin of each pixel column, so dense high frequencies keep their peaks.
    std::vector<double> xs, ys;
    for (std::size_t k = 1; k < spectrum.levelDbfs.size(); ++k) {
        const double frequency = static_cast<double>(k) * spectrum.binWidth;
        if (frequency < xMin)
            continue;
        const double column = std::floor(axes.x(frequency));
        if (!xs.empty() && std::floor(axes.x(xs.back())) == column) {
            if (spectrum.levelDbfs[k] > ys.back() || !std::isfinite(ys.back())) {
                xs.back() = frequency;
                ys.back() = spectrum.levelDbfs[k];
            }
            continue;
        }
        xs.push_back(frequency);
        ys.push_back(std::max(spectrum.levelDbfs[k], yMin - 10.0));
    }
    cairo_set_source_rgb(cr, 0.12, 0.35, 0.75);
    cairo_set_line_width(cr, 1.2);
    drawPolyline(cr, axes, xs, ys);

    const double fundamentalDbfs = 20.0 * std::log10(figures.fundamental.amplitude);
    const double floorDbfs = fundamentalDbfs + figures.floorDb;
    if (std::isfinite(floorDbfs)) {
        cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
        cairo_set_line_width(cr, 1.0);
        setDash(cr, true);
        cairo_move_to(cr, axes.left, axes.y(floorDbfs));
        cairo_line_to(cr, axes.right(), axes.y(floorDbfs));
        cairo_stroke(cr);
        setDash(cr, false);
        cairo_set_font_size(cr, 10.5);
        drawText(cr, axes.left + 6, axes.y(floorDbfs) - 4, "floor", 0.0);
    }

    // Harmonics above the floor: a triangle over the peak, numbered where there is room.
    const auto mark = [&](double frequency, double dbfs, const std::string& label, double r, double g, double b) {
        const double x = axes.x(frequency), y = axes.y(dbfs) - 6;
        cairo_set_source_rgb(cr, r, g, b);
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x - 4, y - 7);
        cairo_line_to(cr, x + 4, y - 7);
        cairo_close_path(cr);
        cairo_fill(cr);
        if (!label.empty())
            drawText(cr, x, y - 10, label, 0.5);
    };
    cairo_set_font_size(cr, 10.0);
    mark(figures.tone, fundamentalDbfs, "1", 0.85, 0.3, 0.1);
    double lastLabel = axes.x(figures.tone);
    for (const Harmonic& harmonic : figures.harmonics) {
        if (!harmonic.aboveFloor)
            continue;
        const bool room = axes.x(harmonic.frequency) - lastLabel >= 14;
        if (room)
            lastLabel = axes.x(harmonic.frequency);
        mark(harmonic.frequency, fundamentalDbfs + harmonic.relativeDb, room ? format("%g", harmonic.order) : "", 0.85,
             0.3, 0.1);
    }
    if (figures.largestOther.aboveFloor && figures.largestOther.frequency >= xMin)
        mark(figures.largestOther.frequency, fundamentalDbfs + figures.largestOther.relativeDb, "other", 0.1, 0.55,
             0.2);
    cairo_restore(cr);
    drawFrame(cr, axes);

    // The figures go to the top corner farther from the fundamental.
    const bool toneAtLeft = axes.x(figures.tone) < axes.left + axes.width / 2;
    drawFigureBox(cr, axes, spectrumFigureLines(figures), toneAtLeft);
}

constexpr double kSweepWidth = 700.0;
constexpr double kSweepHeight = 760.0;

double levelDb(double ratio)
{
    return 20.0 * std::log10(ratio);
}

void drawSweepPlot(cairo_t* cr, const std::vector<SweepPoint>& points, double tone, const std::string& title)
{
    const double xMin = points.front().inputDbfs, xMax = points.back().inputDbfs;
    std::vector<double> inputs, outputs, thd, thdn;
    double outLow = xMin, outHigh = xMax, thdLow = 0.0;
    for (const SweepPoint& point : points) {
        inputs.push_back(point.inputDbfs);
        outputs.push_back(point.outputDbfs);
        thd.push_back(levelDb(point.thd));
        thdn.push_back(levelDb(point.thdPlusNoise));
        if (std::isfinite(point.outputDbfs)) {
            outLow = std::min(outLow, point.outputDbfs);
            outHigh = std::max(outHigh, point.outputDbfs);
        }
        for (const double v : {thd.back(), thdn.back()})
            if (std::isfinite(v))
                thdLow = std::min(thdLow, v);
    }
    const double outStep = gridStep(outHigh - outLow + 1.0);
    const Axes levels{76,
                      48,
                      kSweepWidth - 76 - 24,
                      300,
                      xMin,
                      xMax,
                      outStep * std::floor(outLow / outStep),
                      outStep * std::ceil(outHigh / outStep),
                      false};
    const Axes distortion{
        76,  420,  kSweepWidth - 76 - 24, 280, xMin, xMax, std::max(-160.0, 20.0 * std::floor(thdLow / 20.0)),
        0.0, false};

    drawTitle(cr, kSweepWidth, title + format("  (%g Hz tone)", tone));
    for (const Axes* axes : {&levels, &distortion}) {
        drawLinearXGrid(cr, *axes, true);
        drawHorizontalGrid(cr, *axes, axes == &levels ? "output level (dBFS)" : "distortion (dB re fundamental)");
    }
    cairo_set_font_size(cr, 12.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    drawText(cr, distortion.left + distortion.width / 2, kSweepHeight - 14, "input level (dBFS)", 0.5);

    cairo_save(cr);
    cairo_rectangle(cr, levels.left, levels.top, levels.width, levels.height);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.55, 0.55, 0.55);
    cairo_set_line_width(cr, 1.5);
    setDash(cr, true);
    drawPolyline(cr, levels, {xMin, xMax}, {xMin, xMax});
    setDash(cr, false);
    cairo_set_source_rgb(cr, 0.12, 0.35, 0.75);
    cairo_set_line_width(cr, 2.5);
    drawPolyline(cr, levels, inputs, outputs);
    cairo_restore(cr);
    drawFrame(cr, levels);
    drawLegend(cr, levels, 0, "output (fundamental)", 0.12, 0.35, 0.75, false);
    drawLegend(cr, levels, 1, "y = x", 0.55, 0.55, 0.55, true);

    cairo_save(cr);
    cairo_rectangle(cr, distortion.left, distortion.top, distortion.width, distortion.height);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.85, 0.3, 0.1);
    cairo_set_line_width(cr, 2.5);
    drawPolyline(cr, distortion, inputs, thd);
    cairo_set_source_rgb(cr, 0.1, 0.55, 0.2);
    cairo_set_line_width(cr, 1.5);
    setDash(cr, true);
    drawPolyline(cr, distortion, inputs, thdn);
    setDash(cr, false);
    cairo_restore(cr);
    drawFrame(cr, distortion);
    drawLegend(cr, distortion, 0, "THD", 0.85, 0.3, 0.1, false);
    drawLegend(cr, distortion, 1, "THD+N", 0.1, 0.55, 0.2, true);
}

} // namespace

void drawSpectrum(const std::string& writePath, const std::string& targetPath, const ToneSpectrum& spectrum,
                  const std::string& title)
{
    writePicture(writePath, targetPath, kSpectrumWidth, kSpectrumHeight,
                 [&](cairo_t* cr) { drawSpectrumPlot(cr, spectrum, title); });
}

void drawSweep(const std::string& writePath, const std::string& targetPath, const std::vector<SweepPoint>& points,
               double tone, const std::string& title)
{
    writePicture(writePath, targetPath, kSweepWidth, kSweepHeight,
                 [&](cairo_t* cr) { drawSweepPlot(cr, points, tone, title); });
}

} // namespace plughost
