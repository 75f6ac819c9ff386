// plughost drives LV2 plug-ins through lilv: stand-in bundles built by the tests (a stereo
// gain, a mono gain run once per channel, and a mono gain that requires URID map and
// options, reports a latency of 7 samples and answers NaN when the host breaks a promise).
#include "plughost_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdlib>
#include <fstream>

using namespace plughost_test;

namespace {

constexpr int kLatency = 7;

struct StandIn {
    const char* name;
    int latency;
};
const StandIn kStandIns[] = {{"gain_stereo", 0}, {"gain_mono", 0}, {"needs_options", kLatency}};

} // namespace

TEST(PlughostLv2, EveryProcessingCommandRunsEachStandIn)
{
    const ScratchDirectory scratch("lv2-commands");
    // Left and right differ, so a mono plug-in run once for both channels shows.
    std::vector<float> input;
    for (int i = 0; i < 3000; ++i) {
        input.push_back(0.25f * std::sin(0.01f * static_cast<float>(i)));
        input.push_back(0.125f * std::cos(0.02f * static_cast<float>(i)));
    }
    writeFloatWav(scratch / "in.wav", 2, 44100, input);
    for (const StandIn& standIn : kStandIns) {
        SCOPED_TRACE(standIn.name);
        const std::string bundle = fakeLv2(standIn.name);
        RunResult run = runPlughost({"render", bundle, (scratch / "in.wav").string(), (scratch / "out.wav").string(),
                                     "--set", "Gain=2", "--block", "300"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.find("latency: 7 samples") != std::string::npos, standIn.latency == kLatency) << run.out;
        const std::vector<float> output = readFloats(scratch / "out.wav");
        ASSERT_EQ(output.size(), input.size());
        for (std::size_t i = 0; i < output.size(); ++i) {
            const auto from = static_cast<long long>(i) - 2 * standIn.latency;
            ASSERT_EQ(output[i], from < 0 ? 0.0f : 2.0f * input[static_cast<std::size_t>(from)]) << "sample " << i;
        }

        run =
            runPlughost({"curve", bundle, "--set", "gain=0.5", "--range", "1", "--out", (scratch / "c.csv").string()});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        std::ifstream csv(scratch / "c.csv");
        std::string line, last;
        while (std::getline(csv, line))
            last = line;
        EXPECT_EQ(last.substr(0, last.find(',', last.find(',') + 1)), "1,0.5") << last;

        run = runPlughost({"spectrum", bundle, "--set", "gain=2", "--json"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_NEAR(nlohmann::json::parse(run.out)["fundamental"]["dbfs"].get<double>(), -6.0 + 20 * std::log10(2.0),
                    1e-3);

        for (const std::vector<std::string>& command :
             {std::vector<std::string>{"sweep", bundle, "--step", "20", "--out", (scratch / "s.csv").string()},
              std::vector<std::string>{"aliasing", bundle, "--tones", "2", "--out", (scratch / "a.svg").string()},
              std::vector<std::string>{"spectrogram", bundle, "--seconds", "1", "--out", (scratch / "g.png").string()},
              std::vector<std::string>{"info", bundle, "--json"}}) {
            run = runPlughost(command);
            EXPECT_EQ(run.exitCode, 0) << command[0] << ": " << run.err;
        }
        const auto info = nlohmann::json::parse(run.out);
        EXPECT_EQ(info["plugin"], std::string("urn:plughost-test:") + standIn.name);
        EXPECT_EQ(info["latency"], standIn.latency);
        EXPECT_EQ(info["inputs"], 2) << "a mono plug-in runs once per channel";
        EXPECT_EQ(info["ports"][0]["symbol"], "gain");
        EXPECT_EQ(info["ports"][0]["maximum"], 4.0);
        EXPECT_EQ(info["ports"][0]["unit"], "coef");
    }
}

// A URI is looked up on LV2_PATH as lilv finds it, and a control's name serves as its symbol.
TEST(PlughostLv2, FindsAPluginByItsUriOnLv2Path)
{
    ::setenv("LV2_PATH", FAKE_LV2_DIR, 1);
    const RunResult run = runPlughost({"spectrum", "urn:plughost-test:needs_options", "--set", "GAIN=0.5", "--json"});
    ::unsetenv("LV2_PATH");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NEAR(nlohmann::json::parse(run.out)["fundamental"]["dbfs"].get<double>(), -12.02, 0.01);
}

// LV2_PATH as users type it: each entry is made an absolute folder before lilv reads it, and
// lilv gets the core vocabulary, so the class has its name with the stand-ins' folder alone.
TEST(PlughostLv2, OddLv2PathsFindThePluginOrSayWhy)
{
    const ScratchDirectory home("lv2-home");
    std::filesystem::create_directory_symlink(FAKE_LV2_DIR, home / "lv2");
    const std::string relative = std::filesystem::relative(FAKE_LV2_DIR).string();
    struct Row {
        std::string lv2Path;
        int exit;
        std::string said; // on standard output when exit is 0, else the one line on standard error
    };
    const Row rows[] = {
        {relative, 0, "class:         Amplifier Plugin\n"},
        {relative + "/", 0, "class:         Amplifier Plugin\n"},
        {"./" + relative + "//", 0, "plug-in:       urn:plughost-test:gain_stereo (LV2)\n"},
        {"~/lv2", 0, "class:         Amplifier Plugin\n"},
        {"~", 2,
         "plughost: urn:plughost-test:gain_stereo: no such file, nor an LV2 plug-in of this URI on LV2_PATH ~\n"},
        {"/absent/lv2:" + relative + ":", 0, "class:         Amplifier Plugin\n"},
        {"", 2, "nor an LV2 plug-in of this URI on LV2_PATH, which is empty\n"},
        {"absent:/absent/lv2", 2, "on LV2_PATH absent:/absent/lv2 (no such folder: absent, /absent/lv2)\n"},
    };
    const char* home0 = std::getenv("HOME");
    const std::string savedHome = home0 ? home0 : "";
    ::setenv("HOME", home.string().c_str(), 1);
    for (const Row& row : rows) {
        SCOPED_TRACE("LV2_PATH=" + row.lv2Path);
        ::setenv("LV2_PATH", row.lv2Path.c_str(), 1);
        const RunResult run = runPlughost({"info", "urn:plughost-test:gain_stereo"});
        EXPECT_EQ(run.exitCode, row.exit) << run.err;
        const std::string& said = row.exit == 0 ? run.out : run.err;
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        if (row.exit != 0) {
            EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
        }
    }
    ::unsetenv("LV2_PATH");
    ::setenv("HOME", savedHome.c_str(), 1);
}

// render writes what a plug-in gives, however wild (it is the user's audio), and says so.
TEST(PlughostLv2, RenderWritesRunawayOutputAndSaysSo)
{
    const ScratchDirectory scratch("lv2-runaway");
    writeFloatWav(scratch / "in.wav", 2, 44100, std::vector<float>(2000, 0.5f));
    const RunResult run = runPlughost({"render", fakeLv2("huge_output"), (scratch / "in.wav").string(),
                                       (scratch / "out.wav").string(), "--set", "gain=2"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "plughost: Fake huge_output at gain=2: the output holds a peak of +593.98 dBFS, a level no "
                       "audio reaches; " +
                           (scratch / "out.wav").string() + " holds it as the plug-in gave it\n");
    EXPECT_EQ(readFloats(scratch / "out.wav"), std::vector<float>(2000, 5e29f));
}

// An enumeration takes its labels (case ignored), a toggle on and off, an integer a whole number.
TEST(PlughostLv2, ChoicesTakeTheirLabelsAndTogglesOnAndOff)
{
    const RunResult run = runPlughost({"spectrum", fakeLv2("choices"), "--set", "shape=FOLD BACK", "--set", "bypass=on",
                                       "--set", "steps=3", "--set", "gain=2", "--json"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NEAR(nlohmann::json::parse(run.out)["fundamental"]["dbfs"].get<double>(), -6.0 + 20 * std::log10(2.0), 1e-3);
}
