// host/commands/: one file per command (info, validate, render, curve, spectrum in
// harmonics_command.cpp, sweep, aliasing, spectrogram, editor), each reading its options and calling the other rooms,
// and usage_error.h for the parser's mistakes.
//
// The sub-commands of plughost. Each answers the process exit code and throws
// UserError for a fault the user can fix.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plughost {

int runInfo(const std::string& modulePath, bool json);

struct ValidateOptions {
    std::string modulePath;
    std::optional<std::uint64_t> seed; // a fresh one is drawn when none is given
    int repeat = 1;
};
int runValidate(const ValidateOptions& options);

#ifndef PLUGHOST_INFO_AND_VALIDATE_ONLY
struct RenderOptions {
    std::string modulePath;
    std::string inputPath;
    std::string outputPath;
    std::vector<std::string> settings; // NAME=VALUE: a VST parameter 0 to 1, an LV2 control in its units
    std::string program, preset;       // --program (VST) or --preset (LV2), applied before the settings
    int blockSize = 512;
    bool accumulate = false;
    std::string sampleFormat; // pcm16, pcm24 or float in any case; empty: like the input
    std::string dither;       // tpdf or none in any case; empty: none
};
int runRender(const RenderOptions& options);

struct CurveOptions {
    std::string modulePath;
    std::vector<std::string> settings;
    std::string program, preset;
    std::vector<std::string> compare; // NAME=VALUE,... : one curve each, on top of settings
    double range = 2.0;
    std::string outputPath; // .svg, .png or .csv
};
int runCurve(const CurveOptions& options);

// Numbers stay text here, so each command can name the option a bad one came from.
struct SpectrumOptions {
    std::string modulePath;
    std::vector<std::string> settings;
    std::string program, preset;
    std::string tone = "997";         // Hz; divides no common rate, so aliases fall apart from harmonics
    std::string level = "-6";         // dBFS, 0 being a sine of peak amplitude 1
    std::string sampleRate = "48000"; // Hz
    std::string outputPath;           // .svg, .png, .csv or empty
    bool json = false;
};
int runSpectrum(const SpectrumOptions& options);

struct SweepOptions {
    std::string modulePath;
    std::vector<std::string> settings;
    std::string program, preset;
    std::string tone = "1000";
    std::string from = "-60"; // dBFS
    std::string to = "0";
    std::string step = "1"; // dB
    std::string sampleRate = "48000";
    std::string outputPath; // .svg, .png or .csv
    bool json = false;
};
int runSweep(const SweepOptions& options);

struct AliasingOptions {
    std::vector<std::string> modules;
    std::vector<std::string> arguments; // the command's words as given: each --set belongs to the MODULE before it
    std::string from = "1000";          // Hz
    std::string to;                     // empty: defaultHighestTone at the rate
    std::string tones = "30";
    std::string level = "-6"; // dBFS
    std::string sampleRate = "48000";
    std::string outputPath; // .svg, .png, .csv or empty
    bool json = false;
};
int runAliasing(const AliasingOptions& options);

struct SpectrogramOptions {
    std::string modulePath;
    std::vector<std::string> settings;
    std::string program, preset;
    std::string from = "20"; // Hz, where the sweep starts
    std::string to;          // Hz, where it ends; empty: defaultHighestTone at the rate
    std::string seconds = "6";
    std::string level = "-6";
    std::string sampleRate = "48000";
    std::string outputPath; // .svg or .png
};
int runSpectrogram(const SpectrogramOptions& options);

#endif

struct EditorOptions {
    std::string modulePath;
    std::vector<std::string> settings;
    std::vector<std::string> drags; // X,Y,DX,DY in the editor's pixels
    std::string screenshotPath;     // .png, .bmp on Windows; empty: none
    bool json = false;
    int scale = 0; // 1..kLargestEditorScale; 0: the editor's own choice
};
// The largest whole scale --scale asks for, the largest this project's editors draw at.
inline constexpr int kLargestEditorScale = 4;
int runEditor(const EditorOptions& options);

} // namespace plughost
