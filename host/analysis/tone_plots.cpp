#include "tone_plots.h"

#include "plot.h"
#include "user_error.h"

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

constexpr double kBoxLineHeight = 15.0;

// The height of a band beneath a plot for a box of `lines` lines: boxes and legends lie
// outside the axes, so they never cover what the plot shows.
double boxBandHeight(std::size_t lines)
{
    return kBoxLineHeight * static_cast<double>(lines) + 10 + 12;
}

// Lines of text in a white box with its top left corner at x, y.
void drawFigureBox(cairo_t* cr, double x, double y, const std::vector<std::string>& lines)
{
    cairo_set_font_size(cr, 11.5);
    double width = 0.0;
    for (const std::string& line : lines)
        width = std::max(width, textWidth(cr, line));
    const double lineHeight = kBoxLineHeight;
    const double boxWidth = width + 16, boxHeight = lineHeight * static_cast<double>(lines.size()) + 10;
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
    const Alias& alias = figures.strongestAlias;
    if (alias.order != 0 && alias.aboveFloor)
        lines.push_back("strongest alias  " + format("%.2f dB", alias.relativeDb) + " at " +
                        frequencyWithUnit(alias.frequency) + format(" (H%.0f", alias.order) + " at " +
                        frequencyWithUnit(alias.harmonicFrequency) + ")");
    else
        lines.push_back("strongest alias  below the floor");
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
    // Aliases above the floor in violet, named by their order where there is room.
    std::vector<double> labelled;
    for (const Alias& alias : figures.aliases) {
        if (!alias.aboveFloor || alias.frequency < xMin)
            continue;
        const double x = axes.x(alias.frequency);
        const bool room =
            std::none_of(labelled.begin(), labelled.end(), [&](double at) { return std::fabs(at - x) < 18; });
        if (room)
            labelled.push_back(x);
        mark(alias.frequency, fundamentalDbfs + alias.relativeDb, room ? format("a%g", alias.order) : "", 0.5, 0.2,
             0.7);
    }
    if (figures.largestOther.aboveFloor && figures.largestOther.frequency >= xMin)
        mark(figures.largestOther.frequency, fundamentalDbfs + figures.largestOther.relativeDb, "other", 0.1, 0.55,
             0.2);
    cairo_restore(cr);
    drawFrame(cr, axes);

    drawFigureBox(cr, axes.left, kSpectrumHeight, spectrumFigureLines(figures));
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
    writePicture(writePath, targetPath, kSpectrumWidth,
                 kSpectrumHeight + boxBandHeight(spectrumFigureLines(spectrum.figures).size()),
                 [&](cairo_t* cr) { drawSpectrumPlot(cr, spectrum, title); });
}

void drawSweep(const std::string& writePath, const std::string& targetPath, const std::vector<SweepPoint>& points,
               double tone, const std::string& title)
{
    writePicture(writePath, targetPath, kSweepWidth, kSweepHeight,
                 [&](cairo_t* cr) { drawSweepPlot(cr, points, tone, title); });
}

namespace {

constexpr double kAliasingWidth = 900.0;
constexpr double kAliasingHeight = 560.0;

struct Colour {
    double r, g, b;
};
constexpr Colour kLineColours[] = {{0.12, 0.35, 0.75}, {0.85, 0.3, 0.1},  {0.1, 0.55, 0.2},
                                   {0.5, 0.2, 0.7},    {0.75, 0.6, 0.05}, {0.1, 0.6, 0.65}};

void drawAliasingPlot(cairo_t* cr, const std::vector<AliasingLine>& lines, const std::string& title)
{
    double xMin = 1e9, xMax = 0.0, yLow = 0.0;
    for (const AliasingLine& line : lines)
        for (const AliasingPoint& p : line.points) {
            xMin = std::min(xMin, p.tone);
            xMax = std::max(xMax, p.tone);
            for (const double v : {p.audible.relativeDb, levelDb(p.thd)})
                if (std::isfinite(v))
                    yLow = std::min(yLow, v);
        }
    // THD falls to nothing where no harmonic is left below Nyquist; the scale stops at -140 dB.
    const double yMin = std::max(-140.0, 20.0 * std::floor(yLow / 20.0));
    const Axes axes{76,  44,  kAliasingWidth - 76 - 24, kAliasingHeight - 44 - 52, xMin * 0.95, xMax * 1.05, yMin,
                    0.0, true};
    drawTitle(cr, kAliasingWidth, title);
    drawLogXGrid(cr, axes);
    drawHorizontalGrid(cr, axes, "dB re fundamental");
    cairo_set_font_size(cr, 12.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    drawText(cr, axes.left + axes.width / 2, kAliasingHeight - 10, "tone frequency (Hz)", 0.5);

    cairo_save(cr);
    cairo_rectangle(cr, axes.left, axes.top, axes.width, axes.height);
    cairo_clip(cr);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Colour colour = kLineColours[i % std::size(kLineColours)];
        std::vector<double> tones, aliases, thd;
        for (const AliasingPoint& p : lines[i].points) {
            tones.push_back(p.tone);
            aliases.push_back(p.audible.relativeDb);
            thd.push_back(levelDb(p.thd));
        }
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_set_line_width(cr, 2.5);
        drawPolyline(cr, axes, tones, aliases);
        for (std::size_t k = 0; k < tones.size(); ++k)
            if (std::isfinite(aliases[k])) {
                cairo_arc(cr, axes.x(tones[k]), axes.y(aliases[k]), 2.5, 0.0, 2.0 * std::numbers::pi);
                cairo_fill(cr);
            }
        cairo_set_line_width(cr, 1.2);
        setDash(cr, true);
        drawPolyline(cr, axes, tones, thd);
        setDash(cr, false);
    }
    cairo_restore(cr);
    drawFrame(cr, axes);
    // The legend beneath the plot, clear of every line.
    std::vector<std::string> legend;
    for (const AliasingLine& line : lines)
        legend.push_back(line.label);
    cairo_set_font_size(cr, 11.0);
    double width = textWidth(cr, "solid: strongest alias, 20 Hz to 20 kHz; dashed: THD");
    for (const std::string& text : legend)
        width = std::max(width, textWidth(cr, text) + 30);
    const double rowHeight = 16.0;
    const double boxHeight = rowHeight * static_cast<double>(lines.size() + 1) + 10;
    const double x = axes.left, y = kAliasingHeight;
    cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.92);
    cairo_rectangle(cr, x, y, width + 16, boxHeight);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Colour colour = kLineColours[i % std::size(kLineColours)];
        const double rowY = y + 5 + rowHeight * static_cast<double>(i + 1) - 3;
        cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
        cairo_set_line_width(cr, 2.5);
        cairo_move_to(cr, x + 8, rowY - 4);
        cairo_line_to(cr, x + 30, rowY - 4);
        cairo_stroke(cr);
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        drawText(cr, x + 38, rowY, legend[i], 0.0);
    }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    drawText(cr, x + 8, y + 5 + rowHeight * static_cast<double>(lines.size() + 1) - 3,
             "solid: strongest alias, 20 Hz to 20 kHz; dashed: THD", 0.0);
}

} // namespace

void drawAliasing(const std::string& writePath, const std::string& targetPath, const std::vector<AliasingLine>& lines,
                  const std::string& title)
{
    writePicture(writePath, targetPath, kAliasingWidth, kAliasingHeight + boxBandHeight(lines.size() + 1),
                 [&](cairo_t* cr) { drawAliasingPlot(cr, lines, title); });
}

namespace {

constexpr double kSpectrogramLeft = 76.0, kSpectrogramTop = 44.0;
constexpr double kSpectrogramHeight = 470.0;
constexpr double kSpectrogramWidth = kSpectrogramLeft + static_cast<double>(kSpectrogramColumns) + 110.0;
constexpr double kSpectrogramPicture = kSpectrogramTop + kSpectrogramHeight + 52.0;
constexpr double kSpectrogramRangeDb = 140.0;

// Dark to light through violet, red and yellow, so level reads as brightness also in grey.
Colour levelColour(double t)
{
    constexpr Colour stops[] = {{0.0, 0.0, 0.02},   {0.12, 0.05, 0.28}, {0.33, 0.06, 0.43},
                                {0.53, 0.13, 0.42}, {0.73, 0.21, 0.33}, {0.89, 0.35, 0.2},
                                {0.98, 0.55, 0.04}, {0.98, 0.79, 0.2},  {0.99, 1.0, 0.64}};
    const double at = std::clamp(t, 0.0, 1.0) * static_cast<double>(std::size(stops) - 1);
    const auto i = std::min(static_cast<std::size_t>(at), std::size(stops) - 2);
    const double f = at - static_cast<double>(i);
    return {stops[i].r + f * (stops[i + 1].r - stops[i].r), stops[i].g + f * (stops[i + 1].g - stops[i].g),
            stops[i].b + f * (stops[i + 1].b - stops[i].b)};
}

void drawSpectrogramPlot(cairo_t* cr, const Spectrogram& spectrogram, double lowest, const std::string& title)
{
    const double nyquist = spectrogram.sampleRate / 2.0;
    const int width = static_cast<int>(spectrogram.times.size());
    const int height = static_cast<int>(kSpectrogramHeight);
    float loudest = -300.0f;
    for (const auto& column : spectrogram.layers.front().levelDbfs)
        for (std::size_t k = 1; k < column.size(); ++k)
            loudest = std::max(loudest, column[k]);
    const double top = std::max(0.0, 10.0 * std::ceil(static_cast<double>(loudest) / 10.0));
    const double bottom = top - kSpectrogramRangeDb;
    const auto rowFrequency = [&](double row) { return lowest * std::pow(nyquist / lowest, 1.0 - row / height); };

    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    for (int x = 0; data && x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            const double level = spectrogram.level(static_cast<std::size_t>(x), rowFrequency(y + 1), rowFrequency(y));
            const Colour c = levelColour((level - bottom) / (top - bottom));
            auto* pixel = reinterpret_cast<std::uint32_t*>(data + y * stride) + x;
            *pixel = static_cast<std::uint32_t>(std::lround(c.r * 255)) << 16 |
                     static_cast<std::uint32_t>(std::lround(c.g * 255)) << 8 |
                     static_cast<std::uint32_t>(std::lround(c.b * 255));
        }
    }
    cairo_surface_mark_dirty(image);
    cairo_set_source_surface(cr, image, kSpectrogramLeft, kSpectrogramTop);
    cairo_paint(cr);
    cairo_surface_destroy(image);

    drawTitle(cr, kSpectrogramWidth, title);
    const double right = kSpectrogramLeft + width, lowerEdge = kSpectrogramTop + height;
    cairo_set_font_size(cr, 11.0);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    const double timeStep = gridStep(spectrogram.seconds);
    for (int k = 0; k * timeStep <= spectrogram.seconds + 1e-9; ++k)
        drawText(cr, kSpectrogramLeft + k * timeStep / spectrogram.seconds * width, lowerEdge + 16,
                 format("%g", k * timeStep), 0.5);
    double lastLabel = 1e9;
    for (double decade = std::pow(10.0, std::floor(std::log10(lowest))); decade <= nyquist; decade *= 10.0)
        for (const double factor : {1.0, 2.0, 5.0}) {
            const double f = factor * decade;
            if (f < lowest || f > nyquist)
                continue;
            const double y = kSpectrogramTop + height * (1.0 - std::log(f / lowest) / std::log(nyquist / lowest));
            cairo_set_source_rgba(cr, 1.0, 1.0, 1.0, 0.25);
            cairo_set_line_width(cr, 0.8);
            cairo_move_to(cr, kSpectrogramLeft, y);
            cairo_line_to(cr, right, y);
            cairo_stroke(cr);
            if (lastLabel - y < 14)
                continue;
            cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
            drawText(cr, kSpectrogramLeft - 6, y + 4, frequencyText(f), 1.0);
            lastLabel = y;
        }
    cairo_set_font_size(cr, 12.0);
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    drawText(cr, kSpectrogramLeft + width / 2.0, kSpectrogramPicture - 10, "time (s)", 0.5);
    cairo_save(cr);
    cairo_translate(cr, kSpectrogramLeft - 50, kSpectrogramTop + height / 2.0);
    cairo_rotate(cr, -std::numbers::pi / 2);
    drawText(cr, 0, 0, "frequency (Hz)", 0.5);
    cairo_restore(cr);
    cairo_set_line_width(cr, 1.5);
    cairo_rectangle(cr, kSpectrogramLeft, kSpectrogramTop, width, height);
    cairo_stroke(cr);

    // The colour scale: level in dBFS, a sine's peak on a bin.
    const double barLeft = right + 22, barWidth = 16;
    for (int y = 0; y < height; ++y) {
        const Colour c = levelColour(1.0 - static_cast<double>(y) / height);
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_rectangle(cr, barLeft, kSpectrogramTop + y, barWidth, 1.0);
        cairo_fill(cr);
    }
    cairo_set_source_rgb(cr, 0.0, 0.0, 0.0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, barLeft, kSpectrogramTop, barWidth, height);
    cairo_stroke(cr);
    cairo_set_font_size(cr, 11.0);
    for (double db = top; db >= bottom - 1e-9; db -= 20.0) {
        const double y = kSpectrogramTop + (top - db) / (top - bottom) * height;
        drawText(cr, barLeft + barWidth + 4, y + 4, format("%g", db), 0.0);
    }
    drawText(cr, barLeft + barWidth / 2, kSpectrogramTop - 8, "dBFS", 0.5);
}

} // namespace

void drawSpectrogram(const std::string& writePath, const std::string& targetPath, const Spectrogram& spectrogram,
                     double lowest, const std::string& title)
{
    writePicture(writePath, targetPath, kSpectrogramWidth, kSpectrogramPicture,
                 [&](cairo_t* cr) { drawSpectrogramPlot(cr, spectrogram, lowest, title); });
}

} // namespace plughost
