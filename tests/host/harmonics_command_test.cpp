// plughost spectrum feeds a sine through a module and reads the harmonics off
// its output; fake modules with closed-form answers check the figures.
#include "plughost_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

using namespace plughost_test;

namespace {

std::string levelText(double amplitude)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", 20.0 * std::log10(amplitude));
    return text;
}

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

nlohmann::json spectrumJson(const std::string& module, std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), {"spectrum", module});
    arguments.push_back("--json");
    const RunResult result = runPlughost(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    return nlohmann::json::parse(result.out);
}

const nlohmann::json& harmonic(const nlohmann::json& figures, int order)
{
    return figures["harmonics"].at(static_cast<std::size_t>(order - 2));
}

} // namespace

TEST(PlughostSpectrum, PlainGainHasNoDistortionAboveTheFloor)
{
    const auto figures = spectrumJson(fakeModule("tone_gain"), {"--set", "Gain=0.3", "--level", "-3"});
    EXPECT_NEAR(figures["fundamental"]["dbfs"].get<double>(), -3.0 + db(0.6), 1e-3);
    EXPECT_LT(figures["thd"]["db"].get<double>(), -120.0);
    EXPECT_LT(figures["thdPlusNoise"]["db"].get<double>(), -120.0);
    // A floor set too high would hide what it is there to show.
    EXPECT_LE(figures["floorDb"].get<double>(), -130.0);
    ASSERT_EQ(figures["harmonics"].size(), 23u); // orders 2 to 24 of the default 997 Hz, below 24 kHz
    for (const auto& h : figures["harmonics"])
        EXPECT_FALSE(h["aboveFloor"].get<bool>()) << h;
    EXPECT_FALSE(figures["largestNonHarmonic"]["aboveFloor"].get<bool>()) << figures["largestNonHarmonic"];
    EXPECT_EQ(figures["window"], "7-term Blackman-Harris");
}

// y = x - x^3/3 turns A sin(t) into (A - A^3/4) sin(t) + (A^3/12) sin(3t).
TEST(PlughostSpectrum, CubicGivesTheClosedFormFundamentalAndThirdHarmonic)
{
    struct Case {
        double amplitude, tone, rate;
    };
    // On a bin and between bins, at three rates.
    for (const Case c : {Case{0.9, 1000.0, 48000.0}, Case{0.5, 997.0, 44100.0}, Case{0.25, 3001.7, 96000.0}}) {
        SCOPED_TRACE(testing::Message() << "A " << c.amplitude << ", " << c.tone << " Hz at " << c.rate);
        const auto figures =
            spectrumJson(fakeModule("tone_cubic"), {"--level", levelText(c.amplitude), "--tone", std::to_string(c.tone),
                                                    "--rate", std::to_string(c.rate)});
        const double a = c.amplitude;
        const double fundamental = a - a * a * a / 4.0;
        const double third = a * a * a / 12.0;
        EXPECT_NEAR(figures["fundamental"]["dbfs"].get<double>(), db(fundamental), 0.01);
        EXPECT_NEAR(db(figures["fundamental"]["amplitude"].get<double>()), db(fundamental), 0.01);
        EXPECT_NEAR(db(harmonic(figures, 3)["amplitude"].get<double>()), db(third), 0.01);
        EXPECT_NEAR(harmonic(figures, 3)["db"].get<double>(), db(third / fundamental), 0.01);
        EXPECT_NEAR(figures["thd"]["db"].get<double>(), db(third / fundamental), 0.01);
        EXPECT_TRUE(harmonic(figures, 3)["aboveFloor"].get<bool>());
        for (const auto& h : figures["harmonics"])
            EXPECT_EQ(h["aboveFloor"].get<bool>(), h["order"] == 3) << h;
        EXPECT_FALSE(figures["largestNonHarmonic"]["aboveFloor"].get<bool>());
    }
}

TEST(PlughostSpectrum, AnAddedToneIsTheLargestNonHarmonicComponent)
{
    // The fake adds 0.01 sin(2 pi 5555 t) to its input.
    const auto figures = spectrumJson(fakeModule("tone_added_tone"), {"--level", levelText(0.5)});
    const auto& other = figures["largestNonHarmonic"];
    EXPECT_TRUE(other["aboveFloor"].get<bool>());
    EXPECT_NEAR(other["frequency"].get<double>(), 5555.0, 0.5);
    EXPECT_NEAR(other["db"].get<double>(), db(0.01 / 0.5), 0.05);
    EXPECT_NEAR(other["amplitude"].get<double>(), 0.01, 0.01 * 0.005);
    for (const auto& h : figures["harmonics"])
        EXPECT_FALSE(h["aboveFloor"].get<bool>()) << h;
}

TEST(PlughostSpectrum, TextNamesEveryFigure)
{
    const RunResult result = runPlughost({"spectrum", fakeModule("tone_cubic"), "--level", levelText(0.9)});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    // 0.9 - 0.729/4 = 0.71775 is -2.88 dBFS; the third harmonic 0.06075 is 21.45 dB below it.
    for (const char* text :
         {"fundamental:  -2.88 dBFS", "    3     2991.0 Hz    -21.45\n", "    2     1994.0 Hz", "(below the floor)",
          "THD:          8.464 %  (-21.45 dB)", "THD+N:", "largest non-harmonic:", "7-term Blackman-Harris window"})
        EXPECT_NE(result.out.find(text), std::string::npos) << text << "\n" << result.out;
}

TEST(PlughostSpectrum, WritesBinsAndPictures)
{
    const ScratchDirectory scratch("spectrum-files");
    for (const char* name : {"s.csv", "s.svg", "s.PNG"}) {
        const RunResult result = runPlughost({"spectrum", fakeModule("tone_gain"), "--out", (scratch / name).string()});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    std::ifstream csv((scratch / "s.csv").string());
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "frequency_hz,level_dbfs");
    double loudest = -1e9, loudestFrequency = 0.0, lastFrequency = 0.0;
    std::size_t rows = 0;
    for (; std::getline(csv, line); ++rows) {
        double frequency = 0.0, level = 0.0;
        char comma = 0;
        std::istringstream(line) >> frequency >> comma >> level;
        if (level > loudest) {
            loudest = level;
            loudestFrequency = frequency;
        }
        lastFrequency = frequency;
    }
    EXPECT_EQ(rows, 65536u / 2 + 1);
    EXPECT_DOUBLE_EQ(lastFrequency, 24000.0);
    EXPECT_NEAR(loudestFrequency, 997.0, 48000.0 / 65536.0);
    EXPECT_NEAR(loudest, -6.0, 0.5); // the bin nearest the tone, a fifth of a bin away
    std::ifstream svg((scratch / "s.svg").string());
    std::stringstream svgText;
    svgText << svg.rdbuf();
    EXPECT_NE(svgText.str().find("<svg"), std::string::npos);
    std::ifstream png((scratch / "s.PNG").string(), std::ios::binary);
    std::string magic(8, '\0');
    png.read(magic.data(), 8);
    EXPECT_EQ(magic, "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.path()), {}), 3) << "a temporary file was left";
}

#ifdef SHAPER_MODULE_PATH
TEST(PlughostSpectrum, ShaperBelowTheKneeAddsNoHarmonics)
{
    const auto figures = spectrumJson(SHAPER_MODULE_PATH, {"--level", "-12"});
    EXPECT_NEAR(figures["fundamental"]["dbfs"].get<double>(), -12.0, 1e-3);
    for (const auto& h : figures["harmonics"])
        EXPECT_FALSE(h["aboveFloor"].get<bool>()) << h;
    EXPECT_LT(figures["thd"]["db"].get<double>(), -120.0);
}

// The curve is odd, so above the knee its harmonics are odd; THD grows with Boost.
TEST(PlughostSpectrum, ShaperAboveTheKneeAddsOddHarmonicsGrowingWithBoost)
{
    double previousThd = -1e9;
    for (const char* boost : {"Boost=0.1", "Boost=0.2", "Boost=0.4", "Boost=0.7", "Boost=1"}) {
        SCOPED_TRACE(boost);
        const auto figures = spectrumJson(SHAPER_MODULE_PATH, {"--level", "-12", "--set", boost});
        double loudestOdd = -1e9, loudestEven = -1e9;
        for (const auto& h : figures["harmonics"]) {
            const double level = h["db"].get<double>();
            if (h["order"].get<int>() % 2) {
                loudestOdd = std::max(loudestOdd, level);
            } else {
                loudestEven = std::max(loudestEven, level);
                EXPECT_FALSE(h["aboveFloor"].get<bool>()) << h;
            }
        }
        EXPECT_TRUE(harmonic(figures, 3)["aboveFloor"].get<bool>());
        EXPECT_GT(loudestOdd, loudestEven + 60.0);
        const double thd = figures["thd"]["db"].get<double>();
        EXPECT_GT(thd, previousThd);
        previousThd = thd;
    }
}
#endif

// Every mistake the tone commands can be given: one line, exit code 2, no file written; and
// output that is no audio (NaN, or 1e30 times the input), one line and exit code 3.
TEST(PlughostToneUserErrors, EachGivesOneLineAndExitCodeTwo)
{
    const ScratchDirectory scratch("tone-errors");
    const std::string out = (scratch / "out.png").string();
    const std::string gain = fakeModule("tone_gain");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
        int exit = 2;
    };
    constexpr int kNotAudio = 3;
    const std::string nan = fakeLv2("nan_output"), huge = fakeLv2("huge_output"), choices = fakeLv2("choices");
    const Case cases[] = {
        {{"spectrum", gain, "--tone", "24000"},
         "--tone 24000 Hz is at or above Nyquist (24000 Hz at a rate of 48000 Hz)"},
        {{"spectrum", gain, "--tone", "30000", "--rate", "44100"}, "--tone 30000 Hz is at or above Nyquist (22050 Hz"},
        {{"sweep", gain, "--tone", "22050", "--rate", "44100", "--out", out}, "is at or above Nyquist"},
        {{"spectrum", gain, "--tone", "0.1"}, "--tone 0.1 Hz is too low; the lowest at a rate of 48000 Hz is"},
        {{"spectrum", gain, "--tone", "-100"}, "--tone -100 Hz is too low"},
        {{"spectrum", gain, "--tone", "1k"}, "--tone expects a number, got '1k'"},
        {{"spectrum", gain, "--level", "0.5"}, "--level 0.5 is above 0 dBFS (full scale)"},
        {{"spectrum", gain, "--level", "loud"}, "--level expects a number, got 'loud'"},
        {{"spectrum", gain, "--level", "nan"}, "--level expects a number, got 'nan'"},
        {{"spectrum", gain, "--level", "-6dB"}, "--level expects a number, got '-6dB'"},
        {{"spectrum", gain, "--level", "-400"}, "--level -400 is below -300 dBFS"},
        {{"sweep", gain, "--to", "3", "--out", out}, "--to 3 is above 0 dBFS (full scale)"},
        {{"sweep", gain, "--from", "x", "--out", out}, "--from expects a number, got 'x'"},
        {{"sweep", gain, "--from", "-6", "--to", "-12", "--out", out}, "--from -6 must be below --to -12"},
        {{"sweep", gain, "--step", "0", "--out", out}, "--step 0 must be above 0 dB"},
        {{"sweep", gain, "--step", "0.01", "--out", out}, "--step 0.01 gives more than 1000 levels"},
        {{"spectrum", gain, "--rate", "10"}, "--rate 10 is outside 1000 to 1e+06 Hz"},
        {{"spectrum", gain, "--set", "Volume=1"}, "unknown parameter 'Volume' (this module has: Gain)"},
        {{"sweep", gain, "--set", "Gain=2", "--out", out}, "value 2 for 'Gain' is outside 0 to 1"},
        {{"spectrum", fakeModule("tone_no_inputs"), "--out", out},
         "fake_tone_no_inputs.so: the module has no inputs; there is nothing to feed a tone to"},
        {{"sweep", fakeModule("tone_no_inputs"), "--out", out}, "the module has no inputs"},
        {{"spectrum", fakeModule("nan_at_full_gain"), "--set", "Gain=1", "--out", out},
         "fake_nan_at_full_gain.so at Gain=1 given a 997 Hz sine at -6.00 dBFS: the output holds 163840 samples that "
         "are NaN or infinite; no figure is computed from it",
         kNotAudio},
        {{"spectrum", nan, "--set", "gain=2"},
         "Fake nan_output at gain=2 given a 997 Hz sine at -6.00 dBFS: the output "
         "holds 163840 samples that are NaN or infinite",
         kNotAudio},
        {{"sweep", nan, "--step", "30", "--out", out},
         "Fake nan_output at its defaults given a 1000 Hz sine at -60.00 "
         "dBFS: the output holds",
         kNotAudio},
        {{"aliasing", nan, "--tones", "2", "--json"},
         "Hz sine at -6.00 dBFS: the output holds 163840 samples",
         kNotAudio},
        {{"spectrogram", nan, "--seconds", "1", "--out", out},
         "Fake nan_output at its defaults given a log sweep from "
         "20 Hz to 20000 Hz at -6.00 dBFS: the output holds 96000 samples that are NaN",
         kNotAudio},
        {{"curve", nan, "--out", out},
         "Fake nan_output at its defaults given levels from -2 to 2: the output holds "
         "1602 samples that are NaN or infinite; no figure is computed from it",
         kNotAudio},
        {{"spectrum", huge, "--set", "gain=2"},
         "Fake huge_output at gain=2 given a 997 Hz sine at -6.00 dBFS: the "
         "output reaches +594.0 dBFS, a level no audio reaches (above +60 dBFS); no figure is computed from it",
         kNotAudio},
        {{"sweep", huge, "--from", "-120", "--step", "60", "--json"},
         "given a 1000 Hz sine at -120.00 dBFS: the output "
         "reaches +480.0 dBFS, a level no audio reaches",
         kNotAudio},
        {{"aliasing", huge, "--tones", "1", "--from", "7000", "--out", out},
         "Hz sine at -6.00 dBFS: the output reaches +594.0 dBFS",
         kNotAudio},
        {{"spectrogram", huge, "--seconds", "1", "--rate", "22050", "--out", out},
         "given a log sweep from 20 Hz to "
         "9922.5 Hz at -6.00 dBFS: the output reaches +594.0 dBFS",
         kNotAudio},
        {{"curve", huge, "--range", "0.5", "--out", out},
         "given levels from -0.5 to 0.5: the output reaches +594.0 "
         "dBFS, a level no audio reaches (above +60 dBFS)",
         kNotAudio},
        {{"spectrum", choices, "--set", "shape=1.5"},
         "value 1.5 for 'shape' is none of its choices: soft (0), hard (1), Fold back (2)"},
        {{"spectrum", choices, "--set", "shape=sharp"}, "value 'sharp' for 'shape' is none of its choices: soft (0)"},
        {{"sweep", choices, "--set", "steps=2.5", "--out", out},
         "value 2.5 for 'steps' is not a whole number (the control takes integers)"},
        {{"curve", choices, "--set", "bypass=0.5", "--out", out},
         "value 0.5 for 'bypass' is neither on nor off (0 or 1)"},
        {{"spectrum", choices, "--set", "bypass=maybe"}, "value 'maybe' for 'bypass' is not a number, on or off"},
        {{"spectrum", choices, "--preset", "Warm"}, "--preset Warm: this plug-in has no presets"},
        {{"spectrogram", choices, "--program", "1", "--out", out},
         "choices.lv2: --program is for VST 2 modules; an LV2 plug-in takes --preset NAME|URI"},
        {{"curve", gain, "--preset", "Warm", "--out", out},
         "fake_tone_gain.so: --preset is for LV2 plug-ins; a VST 2 module takes --program NAME|N"},
        {{"sweep", gain, "--program", "Warm", "--out", out}, "unknown program 'Warm' (this module has: 0 "},
        {{"spectrum", gain, "--out", (scratch / "out.gif").string()},
         "out.gif: the spectrum is written as .svg, .png or .csv"},
        {{"sweep", gain, "--out", (scratch / "out.wav").string()},
         "out.wav: the sweep is written as .svg, .png or .csv"},
        {{"spectrum", (scratch / "absent.so").string()}, "absent.so: no such file"},
        {{"aliasing", gain, "--tones", "0"}, "--tones takes a whole number from 1 to 200, not '0'"},
        {{"aliasing", gain, "--rate", "2100"}, "--from 1000 must be below --to 945 (the default at this rate)"},
        {{"aliasing", gain, "--to", "30000"}, "--to 30000 Hz is at or above Nyquist"},
        {{"aliasing", gain, "--from", "5000", "--to", "2000"}, "--from 5000 must be below --to 2000"},
        {{"aliasing", gain, "--set", "Volume=1", "--out", out}, "unknown parameter 'Volume'"},
        {{"spectrogram", gain, "--out", (scratch / "g.csv").string()}, "g.csv: the spectrogram is written as .png"},
        {{"spectrogram", gain, "--seconds", "100", "--out", out}, "--seconds 100 is outside 0.5 to 60"},
        {{"spectrum", "urn:plughost-test:absent"}, "urn:plughost-test:absent: no such file, nor an LV2 plug-in"},
        {{"spectrum", scratch.string()}, ": a folder without manifest.ttl, so no LV2 bundle"},
        {{"spectrum", fakeLv2("fails_instantiate"), "--out", out}, "the plug-in failed to instantiate at 48000 Hz"},
        {{"curve", fakeLv2("unknown_feature"), "--out", out},
         "requires the feature urn:plughost-test:unheard-of, which plughost does not provide"},
        {{"info", fakeLv2("no_audio")}, "no_audio.lv2: the plug-in has no audio ports; there is nothing to process"},
        {{"spectrum", fakeLv2("gain_stereo"), "--set", "volume=1"},
         "unknown control 'volume' (this plug-in has: gain)"},
        {{"sweep", fakeLv2("gain_mono"), "--set", "gain=5", "--out", out}, "value 5 for 'gain' is outside 0 to 4"},
        {{"validate", fakeLv2("gain_stereo")}, "validate checks VST 2 modules only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const RunResult result = runPlughost(c.arguments);
        EXPECT_EQ(result.exitCode, c.exit);
        const auto errorLines = lines(result.err);
        ASSERT_EQ(errorLines.size(), 1u) << result.err;
        EXPECT_EQ(errorLines[0].rfind("plughost: ", 0), 0u) << errorLines[0];
        EXPECT_NE(errorLines[0].find(c.message), std::string::npos) << errorLines[0];
        EXPECT_EQ(result.out, "");
        EXPECT_TRUE(std::filesystem::is_empty(scratch.path())) << "a file was left behind";
    }
}
