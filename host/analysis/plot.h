// Drawing a transfer curve as a picture (cairo; SVG or PNG by the file's extension).
#pragma once

#include <string>
#include <vector>

namespace plughost {

struct TransferCurve {
    std::vector<double> input;
    std::vector<double> left;
    std::vector<double> right; // empty when the module has one output
    double range = 2.0;        // the sweep runs from -range to range
};

class AtomicOutput;

// A grid step of 1, 2 or 5 times a power of ten that divides span into four to ten parts;
// every plot uses it so their grids read alike.
double gridStep(double span);

// Draws into the output's temporary file, as SVG or PNG by the target's
// extension (either case); the caller commits. Throws UserError when the
// extension is neither or the file cannot be written.
void drawTransferCurve(const AtomicOutput& output, const TransferCurve& curve, const std::string& title);

// A member of a family of curves, and the settings that make it, for the legend.
struct LabelledCurve {
    std::string label;
    TransferCurve curve;
};

// As drawTransferCurve, for several curves in one plot, each in a colour of its own
// with its label in the legend; only their left outputs are drawn.
void drawTransferCurves(const AtomicOutput& output, const std::vector<LabelledCurve>& family, const std::string& title);

} // namespace plughost
