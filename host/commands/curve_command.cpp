#include "atomic_output.h"
#include "audio_check.h"
#include "channel_buffers.h"
#include "commands.h"
#include "audio_plugin.h"
#include "user_error.h"
#include "plot.h"
#include "same_file.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace plughost {

namespace {

constexpr int kPoints = 801;
// Each level is held for a whole block and the last sample is taken, so a
// module with a short attack or smoothing has settled on it.
constexpr int kHoldFrames = 256;
constexpr double kSampleRate = 44100.0;

TransferCurve sweep(AudioPlugin& plugin, double range)
{
    ChannelBuffers inputs(std::max(plugin.inputs(), 1), kHoldFrames);
    ChannelBuffers outputs(std::max(plugin.outputs(), 1), kHoldFrames);
    plugin.start(kSampleRate, kHoldFrames);
    TransferCurve curve;
    curve.range = range;
    for (int i = 0; i < kPoints; ++i) {
        const double level = range * (-1.0 + 2.0 * i / (kPoints - 1));
        inputs.fill(static_cast<float>(level));
        plugin.process(inputs.pointers(), outputs.pointers(), kHoldFrames);
        curve.input.push_back(static_cast<double>(static_cast<float>(level)));
        curve.left.push_back(outputs.channel(0)[kHoldFrames - 1]);
        if (outputs.channels() > 1)
            curve.right.push_back(outputs.channel(1)[kHoldFrames - 1]);
    }
    plugin.stop();
    return curve;
}

// One curve as input and its outputs; a family as input and each member's left output,
// headed by its settings.
void writeCsv(const AtomicOutput& output, const std::vector<LabelledCurve>& family)
{
    const std::string& path = output.target();
    std::ofstream file(output.path());
    if (!file)
        throw UserError(path + ": cannot be written");
    const TransferCurve& curve = family.front().curve;
    if (family.size() > 1) {
        file << "input";
        for (const LabelledCurve& member : family)
            file << ',' << member.label;
        file << '\n';
    } else {
        file << (curve.right.empty() ? "input,output\n" : "input,left,right\n");
    }
    char line[96];
    for (std::size_t i = 0; i < curve.input.size(); ++i) {
        std::snprintf(line, sizeof line, "%.9g", curve.input[i]);
        file << line;
        for (const LabelledCurve& member : family) {
            std::snprintf(line, sizeof line, ",%.9g", member.curve.left[i]);
            file << line;
            if (family.size() == 1 && !curve.right.empty()) {
                std::snprintf(line, sizeof line, ",%.9g", curve.right[i]);
                file << line;
            }
        }
        file << '\n';
    }
    file.close();
    if (!file)
        throw UserError(path + ": cannot be written");
}

enum class CurveFile { csv, picture };

CurveFile fileKind(const std::string& path)
{
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".csv")
        return CurveFile::csv;
    if (extension == ".svg" || extension == ".png")
        return CurveFile::picture;
    throw UserError(path + ": the curve is written as .svg, .png or .csv");
}

} // namespace

int runCurve(const CurveOptions& options)
{
    // The levels are fed as 32-bit float samples, so the range must be a normal float.
    if (!(options.range >= std::numeric_limits<float>::min() && options.range <= std::numeric_limits<float>::max()))
        throw UserError("--range must be a positive number from 1.2e-38 to 3.4e38 (levels are 32-bit floats)");
    const CurveFile kind = fileKind(options.outputPath);
    refuseOverwriting(options.outputPath, options.modulePath, "module");
    // One curve at --set, or one per --compare at --set and its own settings, each from a
    // plug-in of its own so that no member inherits another's; all are opened before any file is made.
    std::vector<std::vector<std::string>> members;
    std::vector<std::string> labels;
    for (const std::string& list : options.compare) {
        members.push_back(options.settings);
        labels.emplace_back();
        std::stringstream settings(list);
        for (std::string setting; std::getline(settings, setting, ',');) {
            members.back().push_back(setting);
            labels.back() += (labels.back().empty() ? "" : "  ") + setting;
        }
    }
    if (members.empty()) {
        members.push_back(options.settings);
        labels.emplace_back();
    }
    const PluginStart start{options.program, options.preset};
    std::vector<std::unique_ptr<AudioPlugin>> plugins;
    for (const std::vector<std::string>& settings : members)
        plugins.push_back(openPlugin(options.modulePath, settings, start));
    std::string title = plugins.front()->name();
    for (const std::string& setting : shownSettings(start, options.settings))
        title += "  " + setting;
    AtomicOutput output(options.outputPath);
    std::vector<LabelledCurve> family;
    for (std::size_t i = 0; i < plugins.size(); ++i) {
        family.push_back({labels[i], sweep(*plugins[i], options.range)});
        // Audio reaches 60 dB above the loudest level fed at most, as it does above full scale.
        const TransferCurve& curve = family.back().curve;
        OutputWatch watch;
        for (const std::vector<double>* channel : {&curve.left, &curve.right}) {
            const std::vector<float> samples(channel->begin(), channel->end());
            watch.add(samples.data(), samples.size());
        }
        char given[64];
        std::snprintf(given, sizeof given, " given levels from %g to %g", -options.range, options.range);
        watch.require(runName(plugins[i]->name(), shownSettings(start, members[i])) + given,
                      kLoudestAudioDbfs + std::max(0.0, 20.0 * std::log10(options.range)));
    }
    if (kind == CurveFile::csv)
        writeCsv(output, family);
    else
        drawTransferCurves(output, family, title);
    output.commit();
    std::printf("transfer curve from %g to %g written to %s\n", -options.range, options.range,
                options.outputPath.c_str());
    return 0;
}

} // namespace plughost
