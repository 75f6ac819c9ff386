#include "channel_buffers.h"
#include "commands.h"
#include "module.h"
#include "parameter_settings.h"
#include "plot.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace plughost {

namespace {

constexpr int kPoints = 801;
// Each level is held for a whole block and the last sample is taken, so a
// module with a short attack or smoothing has settled on it.
constexpr int kHoldFrames = 256;
constexpr double kSampleRate = 44100.0;

TransferCurve sweep(const Effect& effect, double range)
{
    ChannelBuffers inputs(std::max(effect.numInputs(), 1), kHoldFrames);
    ChannelBuffers outputs(std::max(effect.numOutputs(), 1), kHoldFrames);
    effect.setSampleRate(kSampleRate);
    effect.setBlockSize(kHoldFrames);
    effect.switchOn();
    TransferCurve curve;
    curve.range = range;
    for (int i = 0; i < kPoints; ++i) {
        const double level = -range + 2.0 * range * i / (kPoints - 1);
        inputs.fill(static_cast<float>(level));
        if (effect.canReplace()) {
            effect.processReplacing(inputs.pointers(), outputs.pointers(), kHoldFrames);
        } else {
            outputs.fill(0.0f);
            effect.processAccumulating(inputs.pointers(), outputs.pointers(), kHoldFrames);
        }
        curve.input.push_back(static_cast<double>(static_cast<float>(level)));
        curve.left.push_back(outputs.channel(0)[kHoldFrames - 1]);
        if (outputs.channels() > 1)
            curve.right.push_back(outputs.channel(1)[kHoldFrames - 1]);
    }
    effect.switchOff();
    return curve;
}

void writeCsv(const std::string& path, const TransferCurve& curve)
{
    std::ofstream file(path);
    if (!file)
        throw UserError(path + ": cannot be written");
    file << (curve.right.empty() ? "input,output\n" : "input,left,right\n");
    char line[96];
    for (std::size_t i = 0; i < curve.input.size(); ++i) {
        if (curve.right.empty())
            std::snprintf(line, sizeof line, "%.9g,%.9g\n", curve.input[i], curve.left[i]);
        else
            std::snprintf(line, sizeof line, "%.9g,%.9g,%.9g\n", curve.input[i], curve.left[i], curve.right[i]);
        file << line;
    }
    if (!file.flush())
        throw UserError(path + ": cannot be written");
}

} // namespace

int runCurve(const CurveOptions& options)
{
    if (!(options.range > 0.0) || !std::isfinite(options.range))
        throw UserError("--range must be a positive number");
    const Module module(options.modulePath);
    Effect effect = module.makeEffect();
    applySettings(effect, resolveSettings(effect, options.settings));
    std::string title = std::filesystem::path(options.modulePath).filename().string();
    for (const std::string& setting : options.settings)
        title += "  " + setting;
    const TransferCurve curve = sweep(effect, options.range);
    effect.close();
    const std::string extension = std::filesystem::path(options.outputPath).extension().string();
    if (extension == ".csv" || extension == ".CSV")
        writeCsv(options.outputPath, curve);
    else
        drawTransferCurve(options.outputPath, curve, title);
    std::printf("transfer curve from %g to %g written to %s\n", -options.range, options.range,
                options.outputPath.c_str());
    return 0;
}

} // namespace plughost
