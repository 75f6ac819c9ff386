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
