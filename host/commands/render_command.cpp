#include "atomic_output.h"
#include "audio_check.h"
#include "audio_file.h"
#include "channel_buffers.h"
#include "commands.h"
#include "audio_plugin.h"
#include "user_error.h"
#include "output_format.h"
#include "same_file.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plughost {

namespace {

// Renders shorter than this finish before a progress bar would be worth reading.
constexpr double kProgressAfterSeconds = 3.0;
constexpr int kLargestBlock = 1 << 20;

class LevelMeter {
public:
    void add(float sample)
    {
        if (!std::isfinite(sample)) {
            ++nonFinite;
            return;
        }
        const double magnitude = std::fabs(static_cast<double>(sample));
        peak = std::max(peak, magnitude);
        sumOfSquares += magnitude * magnitude;
        ++count;
    }

    // NaN and infinite samples are counted apart, so they cannot hide the level of the rest.
    std::string text() const
    {
        const double rms = count ? std::sqrt(sumOfSquares / static_cast<double>(count)) : 0.0;
        std::string line = "peak " + decibels(peak) + " dBFS, RMS " + decibels(rms) + " dBFS";
        if (nonFinite > 0)
            line += "; " + std::to_string(nonFinite) + " NaN or infinite sample(s) left out";
        return line;
    }

    // What makes the output no audio (NaN or infinite samples, a peak above +60 dBFS), or empty.
    std::string notAudio() const
    {
        std::string why;
        if (nonFinite > 0)
            why = std::to_string(nonFinite) + " NaN or infinite sample(s)";
        if (peak > std::pow(10.0, kLoudestAudioDbfs / 20.0))
            why +=
                (why.empty() ? "a peak of +" : " and a peak of +") + decibels(peak) + " dBFS, a level no audio reaches";
        return why;
    }

private:
    static std::string decibels(double level)
    {
        if (!(level > 0.0))
            return "-inf";
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", 20.0 * std::log10(level));
        return text;
    }

    double peak = 0.0;
    double sumOfSquares = 0.0;
    long long count = 0;
    long long nonFinite = 0;
};

// Columns of the terminal on standard error; 80 when it does not say.
int terminalColumns()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

class ProgressBar {
public:
    ProgressBar(long long totalFrames, int sampleRate)
        : total(totalFrames), shown(totalFrames > kProgressAfterSeconds * sampleRate && isatty(STDERR_FILENO))
    {
    }

    // The line stays shorter than the terminal, so the carriage return always
    // goes back to its start; a terminal too narrow for a bar gets the percentage alone.
    void update(long long done)
    {
        if (!shown)
            return;
        const int percent = static_cast<int>(100 * done / std::max(total, 1LL));
        if (percent == lastPercent)
            return;
        lastPercent = percent;
        constexpr int kPercentColumns = 5; // " 100%"
        const int width = std::min(terminalColumns() - 1 - kPercentColumns - 2, 40);
        if (width < 10) {
            std::fprintf(stderr, "\r%3d%%", percent);
        } else {
            const int filled = percent * width / 100;
            std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                         std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), percent);
        }
        std::fflush(stderr);
    }

    // Ends the bar's line, also when the render stops early with an error.
    ~ProgressBar() { finish(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void finish()
    {
        if (shown && lastPercent >= 0)
            std::fputc('\n', stderr);
        lastPercent = -1;
    }

private:
    long long total;
    bool shown;
    int lastPercent = -1;
};

} // namespace

int runRender(const RenderOptions& options)
{
    if (options.blockSize < 1 || options.blockSize > kLargestBlock)
        throw UserError("--block must be from 1 to " + std::to_string(kLargestBlock) + " samples");
    // Nothing is opened for writing before the output is known to be a new file.
    refuseOverwriting(options.outputPath, options.inputPath, "input");
    refuseOverwriting(options.outputPath, options.modulePath, "module");
    AudioReader reader(options.inputPath);
    const int outputFormat = chooseOutputFormat(options.outputPath, reader.format(), options.sampleFormat,
                                                reader.channels(), reader.sampleRate());
    const Dither dither = chooseDither(options.dither, outputFormat, options.outputPath);
    const PluginStart start{options.program, options.preset};
    const std::unique_ptr<AudioPlugin> plugin =
        openPlugin(options.modulePath, options.settings, start, options.accumulate);
    AtomicOutput output(options.outputPath);
    AudioWriter writer(output, outputFormat, reader.channels(), reader.sampleRate(), dither);

    if (!options.accumulate && plugin->fallsBackToProcess())
        std::fprintf(stderr, "plughost: the module cannot replace; using process into cleared buffers\n");
    const int fileChannels = reader.channels();
    const int block = options.blockSize;
    ChannelBuffers fileInput(fileChannels, block);
    ChannelBuffers inputs(std::max(plugin->inputs(), 1), 0);
    ChannelBuffers outputs(std::max(plugin->outputs(), 1), block);
    // A mono file feeds the same buffer to every input; a stereo file feeds left and right.
    for (int c = 0; c < inputs.channels(); ++c)
        inputs.point(c, fileInput.channel(std::min(c, fileChannels - 1)));
    if (fileChannels > plugin->inputs() && plugin->inputs() > 0)
        std::fprintf(stderr, "plughost: the module has %d input(s); the file's extra channels are not processed\n",
                     plugin->inputs());

    plugin->start(reader.sampleRate(), block);

    std::vector<float> interleaved(static_cast<std::size_t>(block * fileChannels));
    LevelMeter inputLevel, outputLevel;
    ProgressBar progress(reader.frames(), reader.sampleRate());
    long long done = 0;
    int latency = plugin->latency();
    const auto read = [&] {
        try {
            return reader.read(interleaved.data(), block);
        } catch (const UserError& damaged) {
            throw UserError(std::string(damaged.what()) + "; " + options.outputPath + " was left as it was");
        }
    };
    for (int got; (got = read()) > 0;) {
        for (int i = 0; i < got; ++i)
            for (int c = 0; c < fileChannels; ++c) {
                const float sample = interleaved[static_cast<std::size_t>(i * fileChannels + c)];
                fileInput.channel(c)[i] = sample;
                inputLevel.add(sample);
            }
        plugin->process(inputs.pointers(), outputs.pointers(), got);
        latency = plugin->latency();
        for (int i = 0; i < got; ++i)
            for (int c = 0; c < fileChannels; ++c) {
                const float sample = outputs.channel(std::min(c, outputs.channels() - 1))[i];
                interleaved[static_cast<std::size_t>(i * fileChannels + c)] = sample;
                outputLevel.add(sample);
            }
        writer.write(interleaved.data(), got);
        done += got;
        progress.update(done);
        output.checkInterrupted();
    }
    progress.finish();
    plugin->stop();
    writer.close();
    output.commit();
    // The file holds what the plug-in gave, as the user asked; what is wrong with it is said.
    if (const std::string why = outputLevel.notAudio(); !why.empty())
        std::fprintf(stderr, "plughost: %s: the output holds %s; %s holds it as the plug-in gave it\n",
                     runName(plugin->name(), shownSettings(start, options.settings)).c_str(), why.c_str(),
                     options.outputPath.c_str());
    std::printf("input:  %s\n", inputLevel.text().c_str());
    std::printf("output: %s\n", outputLevel.text().c_str());
    // An LV2 plug-in reports its latency while it runs; a VST module in its record.
    if (latency > 0)
        std::printf("latency: %d samples, as the plug-in reports; the output lags the input by that much\n", latency);
    return 0;
}

} // namespace plughost
