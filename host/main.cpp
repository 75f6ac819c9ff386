// plughost: a command-line host for VST 2 effect modules.
#include "commands.h"
#include "interruption.h"
#include "not_audio.h"
#include "usage_error.h"
#include "user_error.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

namespace {

#ifdef PLUGHOST_INFO_AND_VALIDATE_ONLY
constexpr const char* kDescription =
    "plughost: inspect and validate any VST 2 effect module.\n"
    "This Windows build has the info, validate and editor commands only: render, curve, spectrum,\n"
    "sweep, aliasing and spectrogram need libsndfile, cairo and FFTW, and LV2 plug-ins need lilv,\n"
    "which only the Linux build of plughost uses. Its editor's screenshot is a BMP.";
#else
constexpr const char* kDescription =
    "plughost: inspect, render, plot, analyse and validate any VST 2 effect module; all but validate LV2 plug-ins "
    "too.\nExit codes: 0 done, 1 a validate check failed, 2 a mistake the user can fix, 3 the plug-in's output is no "
    "audio (NaN, infinite, above +60 dBFS or silent at the tone), so no figure is computed.";
#endif

#ifdef PLUGHOST_INFO_AND_VALIDATE_ONLY
constexpr const char* kModuleHelp = "Path of the module file";
#else
constexpr const char* kModuleHelp = "VST 2 module file, or LV2 plug-in: its URI (on LV2_PATH) or bundle folder";
constexpr const char* kSetHelp =
    "NAME=VALUE: a VST parameter, 0 to 1, or an LV2 control in its own units; an LV2 choice by its label "
    "(quality=8x), a toggle on or off (repeatable)";

// --program and --preset, on every command that takes --set; the settings apply after them.
void addStartOptions(CLI::App* command, std::string& program, std::string& preset)
{
    command->add_option("--program", program, "NAME|N: start a VST module on this program (from 0), then --set");
    command->add_option("--preset", preset, "NAME|URI: start an LV2 plug-in on this preset, then --set");
}
#endif

// Commands that only the Linux build has, named when the Windows build is asked for one.
const std::vector<std::string> kLinuxOnlyCommands{"render", "curve", "spectrum", "sweep", "aliasing", "spectrogram"};

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{kDescription, "plughost"};
    app.require_subcommand(1);
    // Module paths may start with a slash, also on Windows.
    app.allow_windows_style_options(false);

    std::string infoModule;
    bool json = false;
    CLI::App* info = app.add_subcommand("info", "Show the module's descriptor, program and parameters");
    info->add_option("MODULE", infoModule, kModuleHelp)->required();
    info->add_flag("--json", json, "Print one JSON document instead of text");

#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
    plughost::RenderOptions renderOptions;
    CLI::App* render = app.add_subcommand("render", "Process an audio file through the module");
    render->add_option("MODULE", renderOptions.modulePath, kModuleHelp)->required();
    render->add_option("IN", renderOptions.inputPath, "Mono or stereo audio file that libsndfile reads")->required();
    render->add_option("OUT", renderOptions.outputPath, "Audio file to write: .wav, .flac, .aiff, .aif, .caf or .ogg")
        ->required();
    render->add_option("--set", renderOptions.settings, kSetHelp)->allow_extra_args(false);
    addStartOptions(render, renderOptions.program, renderOptions.preset);
    render->add_option("--block", renderOptions.blockSize, "Block size in samples (default 512)");
    render->add_flag("--accumulate", renderOptions.accumulate,
                     "Use process into cleared buffers, not processReplacing");
    render->add_option("--format", renderOptions.sampleFormat,
                       "Samples of OUT: pcm16, pcm24 or float (default: the input's, or the nearest OUT holds)");
    render->add_option("--dither", renderOptions.dither,
                       "tpdf: triangular dither before rounding to pcm16 or pcm24 (default none)");

    plughost::CurveOptions curveOptions;
    CLI::App* curve = app.add_subcommand("curve", "Draw the module's static transfer curve");
    curve->add_option("MODULE", curveOptions.modulePath, kModuleHelp)->required();
    curve->add_option("--set", curveOptions.settings, kSetHelp)->allow_extra_args(false);
    addStartOptions(curve, curveOptions.program, curveOptions.preset);
    curve
        ->add_option("--compare", curveOptions.compare,
                     "NAME=VALUE,...: draw a curve at these settings on top of --set, one per --compare (repeatable)")
        ->allow_extra_args(false);
    curve->add_option("--range", curveOptions.range, "Sweep input levels from -A to A (default 2)");
    curve->add_option("--out", curveOptions.outputPath, "Picture (.svg, .png) or table (.csv) to write")->required();

    plughost::SpectrumOptions spectrumOptions;
    CLI::App* spectrum = app.add_subcommand("spectrum", "Feed a sine through the module: harmonics, THD and THD+N");
    spectrum->add_option("MODULE", spectrumOptions.modulePath, kModuleHelp)->required();
    spectrum->add_option("--tone", spectrumOptions.tone, "Frequency of the sine in Hz (default 997)");
    spectrum->add_option("--level", spectrumOptions.level, "Peak level of the sine in dBFS (default -6)");
    spectrum->add_option("--set", spectrumOptions.settings, kSetHelp)->allow_extra_args(false);
    addStartOptions(spectrum, spectrumOptions.program, spectrumOptions.preset);
    spectrum->add_option("--rate", spectrumOptions.sampleRate, "Sample rate in Hz (default 48000)");
    spectrum->add_option("--out", spectrumOptions.outputPath, "Picture (.svg, .png) or table of the bins (.csv)");
    spectrum->add_flag("--json", spectrumOptions.json, "Print the figures as one JSON document");

    plughost::SweepOptions sweepOptions;
    CLI::App* sweep = app.add_subcommand("sweep", "THD and output level of a sine against its input level");
    sweep->add_option("MODULE", sweepOptions.modulePath, kModuleHelp)->required();
    sweep->add_option("--tone", sweepOptions.tone, "Frequency of the sine in Hz (default 1000)");
    sweep->add_option("--from", sweepOptions.from, "Lowest input level in dBFS (default -60)");
    sweep->add_option("--to", sweepOptions.to, "Highest input level in dBFS (default 0)");
    sweep->add_option("--step", sweepOptions.step, "Level step in dB (default 1)");
    sweep->add_option("--set", sweepOptions.settings, kSetHelp)->allow_extra_args(false);
    addStartOptions(sweep, sweepOptions.program, sweepOptions.preset);
    sweep->add_option("--rate", sweepOptions.sampleRate, "Sample rate in Hz (default 48000)");
    sweep->add_option("--out", sweepOptions.outputPath, "Picture (.svg, .png) or table (.csv) to write");
    sweep->add_flag("--json", sweepOptions.json, "Print the levels as one JSON document");

    plughost::AliasingOptions aliasingOptions;
    std::vector<std::string> aliasingGroups;
    CLI::App* aliasing =
        app.add_subcommand("aliasing", "Strongest alias and THD of sine tones, by default from 1 to 20 kHz");
    aliasing->add_option("MODULE", aliasingOptions.modules, "VST 2 module files or LV2 plug-ins (URI or bundle folder)")
        ->required();
    aliasing
        ->add_option("--set", aliasingGroups,
                     "NAME=VALUE[,NAME=VALUE...]: one line at these settings of the MODULE before it; a VST parameter "
                     "0 to 1, an LV2 control in its own units (repeatable)")
        ->allow_extra_args(false);
    std::vector<std::string> aliasingPrograms, aliasingPresets;
    aliasing->add_option("--program", aliasingPrograms, "NAME|N: the MODULE before it starts on this VST program")
        ->allow_extra_args(false);
    aliasing->add_option("--preset", aliasingPresets, "NAME|URI: the MODULE before it starts on this LV2 preset")
        ->allow_extra_args(false);
    aliasing->add_option("--from", aliasingOptions.from, "Lowest tone in Hz (default 1000)");
    aliasing->add_option("--to", aliasingOptions.to,
                         "Highest tone in Hz (default 20000, or 0.45 times --rate where lower)");
    aliasing->add_option("--tones", aliasingOptions.tones,
                         "Number of tones, log-spaced (default 30); 1 is --from alone");
    aliasing->add_option("--level", aliasingOptions.level, "Peak level of the sine in dBFS (default -6)");
    aliasing->add_option("--rate", aliasingOptions.sampleRate, "Sample rate in Hz (default 48000)");
    aliasing->add_option("--out", aliasingOptions.outputPath, "Picture (.svg, .png) or table (.csv) to write");
    aliasing->add_flag("--json", aliasingOptions.json, "Print the figures as JSON");

    plughost::SpectrogramOptions spectrogramOptions;
    CLI::App* spectrogram =
        app.add_subcommand("spectrogram", "Picture of a log sine sweep through the module: time against frequency");
    spectrogram->add_option("MODULE", spectrogramOptions.modulePath, kModuleHelp)->required();
    spectrogram->add_option("--set", spectrogramOptions.settings, kSetHelp)->allow_extra_args(false);
    addStartOptions(spectrogram, spectrogramOptions.program, spectrogramOptions.preset);
    spectrogram->add_option("--from", spectrogramOptions.from, "Start of the sweep in Hz (default 20)");
    spectrogram->add_option("--to", spectrogramOptions.to,
                            "End of the sweep in Hz (default 20000, or 0.45 times --rate where that is lower)");
    spectrogram->add_option("--seconds", spectrogramOptions.seconds, "Length of the sweep (default 6)");
    spectrogram->add_option("--level", spectrogramOptions.level, "Peak level of the sweep in dBFS (default -6)");
    spectrogram->add_option("--rate", spectrogramOptions.sampleRate, "Sample rate in Hz (default 48000)");
    spectrogram->add_option("--out", spectrogramOptions.outputPath, "Picture to write (.png or .svg)")->required();
#endif

    plughost::EditorOptions editorOptions;
    CLI::App* editor = app.add_subcommand("editor", "Open the plug-in's editor in a window on DISPLAY and drive it");
    editor->add_option("MODULE", editorOptions.modulePath, "Module file or LV2 plug-in (URI or bundle folder)")
        ->required();
    editor->add_option("--set", editorOptions.settings, "NAME=VALUE: set a parameter (repeatable)")
        ->allow_extra_args(false);
    editor
        ->add_option("--drag", editorOptions.drags,
                     "X,Y,DX,DY: press at X,Y in the editor, move by DX,DY in steps, release (repeatable)")
        ->allow_extra_args(false);
    editor->add_option(
        "--screenshot", editorOptions.screenshotPath,
        "After the gestures, write the editor's pixels as the window shows them (.png, on Windows .bmp), then close");
    editor->add_flag("--json", editorOptions.json,
                     "Print the size, the host calls of each gesture and the parameters' final values as JSON");
    editor
        ->add_option("--scale", editorOptions.scale,
                     "S: ask the editor to draw at whole scale S (an LV2 UI through ui:scaleFactor, a VST module "
                     "through SOFTKNEESHAPER_EDITOR_SCALE)")
        ->check(CLI::Range(1, plughost::kLargestEditorScale));

    plughost::ValidateOptions validateOptions;
    std::uint64_t seed = 0;
    CLI::App* validate = app.add_subcommand("validate", "Run the host-behaviour checks; non-zero exit on any failure");
    validate->add_option("MODULE", validateOptions.modulePath, "Path of the module file")->required();
    CLI::Option* seedOption = validate->add_option("--seed", seed, "Seed of the random choices, to replay a failure");
    validate->add_option("--repeat", validateOptions.repeat, "Run every check this many times (default 1)");

    try {
        plughost::checkCommand(app, argc, argv, kLinuxOnlyCommands);
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0)
            return app.exit(error); // --help
        std::fprintf(stderr, "plughost: %s\n", plughost::usageErrorLine(app, error).c_str());
        return plughost::kUserErrorExit;
    } catch (const plughost::UserError& error) {
        std::fprintf(stderr, "plughost: %s\n", error.what());
        return plughost::kUserErrorExit;
    }

    try {
        if (info->parsed())
            return plughost::runInfo(infoModule, json);
        if (validate->parsed()) {
            if (*seedOption)
                validateOptions.seed = seed;
            return plughost::runValidate(validateOptions);
        }
#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
        if (render->parsed())
            return plughost::runRender(renderOptions);
        if (curve->parsed())
            return plughost::runCurve(curveOptions);
        if (spectrum->parsed())
            return plughost::runSpectrum(spectrumOptions);
        if (sweep->parsed())
            return plughost::runSweep(sweepOptions);
        if (aliasing->parsed()) {
            aliasingOptions.arguments.assign(argv + 2, argv + argc);
            return plughost::runAliasing(aliasingOptions);
        }
        if (spectrogram->parsed())
            return plughost::runSpectrogram(spectrogramOptions);
#endif
        if (editor->parsed())
            return plughost::runEditor(editorOptions);
    } catch (const plughost::Interrupted& error) {
        std::fprintf(stderr, "plughost: %s\n", error.what());
        return 128 + error.signalNumber();
    } catch (const plughost::UserError& error) {
        std::fprintf(stderr, "plughost: %s\n", error.what());
        return plughost::kUserErrorExit;
    } catch (const plughost::NotAudio& error) {
        std::fprintf(stderr, "plughost: %s\n", error.what());
        return plughost::kNotAudioExit;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plughost: unexpected failure: %s\n", error.what());
        return plughost::kUserErrorExit;
    }
    return 0;
}
