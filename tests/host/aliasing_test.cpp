// Harmonics above Nyquist named where they fold back: the Chebyshev fake puts exactly
// 1/10, 1/20 and 1/50 of a full-scale sine into harmonics 3, 5 and 7.
#include "plughost_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>

using namespace plughost_test;

namespace {

double db(double ratio)
{
    return 20.0 * std::log10(ratio);
}

double folded(double frequency, double rate)
{
    const double wrapped = std::fmod(frequency, rate);
    return wrapped > rate / 2.0 ? rate - wrapped : wrapped;
}

nlohmann::json runJson(std::vector<std::string> arguments)
{
    arguments.push_back("--json");
    const RunResult result = runPlughost(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return result.exitCode == 0 ? nlohmann::json::parse(result.out) : nlohmann::json{};
}

const double kHarmonicDb[] = {0.0, 0.0, 0.0, db(0.1), 0.0, db(0.05), 0.0, db(0.02)};

} // namespace

TEST(PlughostAliases, NamedWithTheirOrderPlaceAndLevelAndTheStrongestAudibleApartFromTheStrongestBelowNyquist)
{
    struct Case {
        double tone, rate;
        int audible, anywhere; // orders of the strongest alias in 20 Hz to 20 kHz and below Nyquist
    };
    // At 44.1 kHz the third harmonic of 7919 Hz folds to 20343 Hz, above the audible band.
    for (const Case c : {Case{7000, 48000, 5, 5}, Case{7919, 44100, 5, 3}}) {
        SCOPED_TRACE(testing::Message() << c.tone << " Hz at " << c.rate);
        const auto figures = runJson({"spectrum", fakeModule("tone_chebyshev"), "--level", "0", "--tone",
                                      std::to_string(c.tone), "--rate", std::to_string(c.rate)});
        std::map<int, nlohmann::json> aliases;
        for (const auto& alias : figures["aliases"])
            if (alias["aboveFloor"].get<bool>())
                aliases[alias["harmonic"].get<int>()] = alias;
        for (int order = 3; order <= 7; order += 2) {
            if (order * c.tone < c.rate / 2.0) {
                EXPECT_NEAR(figures["harmonics"][order - 2]["db"].get<double>(), kHarmonicDb[order], 0.1);
                continue;
            }
            ASSERT_EQ(aliases.count(order), 1u) << "no alias of H" << order << " in " << figures["aliases"];
            EXPECT_NEAR(aliases[order]["frequency"].get<double>(), folded(order * c.tone, c.rate), 1e-6);
            EXPECT_NEAR(aliases[order]["harmonicFrequency"].get<double>(), order * c.tone, 1e-6);
            EXPECT_NEAR(aliases[order]["db"].get<double>(), kHarmonicDb[order], 0.1);
        }
        EXPECT_EQ(aliases.size(), static_cast<std::size_t>(c.tone * 3 > c.rate / 2 ? 3 : 2)) << figures["aliases"];
        EXPECT_EQ(figures["strongestAlias"]["harmonic"], c.audible);
        EXPECT_NEAR(figures["strongestAlias"]["db"].get<double>(), kHarmonicDb[c.audible], 0.1);
        EXPECT_EQ(figures["strongestAliasBelowNyquist"]["harmonic"], c.anywhere);
        EXPECT_FALSE(figures["largestNonHarmonic"]["aboveFloor"].get<bool>()) << "an alias was left unnamed";
    }
}

// 1000 Hz divides 48 kHz, so every alias lands on a harmonic; the text says so.
TEST(PlughostAliases, ATonThatDividesTheRateIsNotedAsHidingItsAliases)
{
    const RunResult result = runPlughost({"spectrum", fakeModule("tone_chebyshev"), "--level", "0", "--tone", "1000"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("strongest alias:              none"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("fold onto DC, the tone or its harmonics"), std::string::npos) << result.out;
}

// Each tone is moved to a whole hertz clear of its aliases; H3 stays a harmonic and H5
// folds into the audible band (5 f from 29 to 39.5 kHz folds to 19 to 8.5 kHz).
TEST(PlughostAliasing, ReportsEachTonesStrongestAliasAndThd)
{
    const auto line = runJson(
        {"aliasing", fakeModule("tone_chebyshev"), "--level", "0", "--from", "5800", "--to", "7900", "--tones", "4"});
    EXPECT_EQ(line["sampleRate"], 48000.0);
    EXPECT_EQ(line["level"], 0.0);
    ASSERT_EQ(line["tones"].size(), 4u);
    for (const auto& tone : line["tones"]) {
        const double f = tone["frequency"].get<double>();
        EXPECT_EQ(f, std::round(f));
        EXPECT_EQ(tone["strongestAlias"]["harmonic"], 5) << tone;
        EXPECT_NEAR(tone["strongestAlias"]["frequency"].get<double>(), folded(5 * f, 48000), 1e-6);
        EXPECT_NEAR(tone["strongestAlias"]["db"].get<double>(), db(0.05), 0.1);
        EXPECT_NEAR(tone["thdDb"].get<double>(), db(0.1), 0.1);
    }
}

// Each --set is a line of the MODULE before it; a MODULE without one is a line at its defaults.
TEST(PlughostAliasing, GivesOneLinePerSettingGroupAndModule)
{
    const std::string gain = fakeModule("tone_gain"), cubic = fakeModule("tone_cubic");
    const auto lines = runJson({"aliasing", gain, "--set", "Gain=0.25", "--tones", "2", "--set", "Gain=0.5", cubic,
                                "--from", "2000", "--to", "3000"});
    ASSERT_EQ(lines.size(), 3u) << lines;
    EXPECT_EQ(lines[0]["module"], gain);
    EXPECT_EQ(lines[0]["settings"], nlohmann::json({"Gain=0.25"}));
    EXPECT_EQ(lines[1]["settings"], nlohmann::json({"Gain=0.5"}));
    EXPECT_EQ(lines[2]["module"], cubic);
    EXPECT_EQ(lines[2]["settings"], nlohmann::json::array());
    EXPECT_LT(lines[0]["tones"][0]["thdDb"].get<double>(), -120.0);
    EXPECT_GT(lines[2]["tones"][0]["thdDb"].get<double>(), -60.0);
}

// However many lines are compared, the table stays within 100 columns; one tone is --from alone,
// and the upper end follows the rate (0.45 of 22050 Hz is below 20 kHz).
TEST(PlughostAliases, TableFitsOneHundredColumnsForManyLinesAndOneToneAtAnyRate)
{
    const RunResult result = runPlughost({"aliasing", fakeModule("tone_chebyshev"), "--set", "Gain=0.2", "--set",
                                          "Gain=0.4", "--set", "Gain=0.6", "--set", "Gain=0.8", "--set", "Gain=1",
                                          "--tones", "1", "--from", "997", "--rate", "22050"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    int rows = 0;
    for (const std::string& line : lines(result.out)) {
        EXPECT_LE(line.size(), 100u) << line;
        rows += line.rfind("      997  |", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(rows, 3) << "five lines in blocks of two\n" << result.out;
    const auto document =
        runJson({"aliasing", fakeModule("tone_chebyshev"), "--from", "9000", "--tones", "3", "--rate", "22050"});
    ASSERT_EQ(document["tones"].size(), 3u);
    EXPECT_NEAR(document["tones"][2]["frequency"].get<double>(), 9922.5, 0.02 * 9922.5);
}
