// plughost render gives exactly what the same calls made directly on the module give.
#include "channel_buffers.h"
#include "module.h"
#include "plughost_runner.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>
#include <random>

using namespace plughost_test;

namespace {

constexpr int kRate = 48000;

std::vector<float> testSignal(int channels, int frames)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    std::vector<float> samples(static_cast<std::size_t>(channels * frames));
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<std::size_t>(i * channels + c)] =
                static_cast<float>(1.5 * std::sin(0.001 * i * (c + 1))) + noise(random);
    return samples;
}

// Feeds the interleaved samples through a fresh effect in blocks, as render
// promises: mono goes to every input, extra outputs are dropped.
std::vector<float> processDirectly(const std::string& path, const std::vector<float>& interleaved, int channels,
                                   int block, int parameter, float value, bool accumulate)
{
    const plughost::Module module(path);
    plughost::Effect effect = module.makeEffect();
    if (parameter >= 0)
        effect.setParameter(parameter, value);
    effect.setSampleRate(kRate);
    effect.setBlockSize(block);
    effect.switchOn();
    plughost::ChannelBuffers file(channels, block);
    plughost::ChannelBuffers inputs(std::max(effect.numInputs(), 1), 0);
    plughost::ChannelBuffers outputs(std::max(effect.numOutputs(), 1), block);
    for (int c = 0; c < inputs.channels(); ++c)
        inputs.point(c, file.channel(std::min(c, channels - 1)));
    const int frames = static_cast<int>(interleaved.size()) / channels;
    std::vector<float> result(interleaved.size());
    for (int start = 0; start < frames; start += block) {
        const int count = std::min(block, frames - start);
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < channels; ++c)
                file.channel(c)[i] = interleaved[static_cast<std::size_t>((start + i) * channels + c)];
        if (accumulate) {
            outputs.fill(0.0f);
            effect.processAccumulating(inputs.pointers(), outputs.pointers(), count);
        } else {
            effect.processReplacing(inputs.pointers(), outputs.pointers(), count);
        }
        for (int i = 0; i < count; ++i)
            for (int c = 0; c < channels; ++c)
                result[static_cast<std::size_t>((start + i) * channels + c)] =
                    outputs.channel(std::min(c, outputs.channels() - 1))[i];
    }
    effect.switchOff();
    return result;
}

struct RenderCase {
    std::string module;
    int channels;
    int block;
    std::string setting; // NAME=VALUE or empty
    int parameter;
    float value;
    bool accumulate;
};

void expectRenderMatchesDirect(const RenderCase& c)
{
    SCOPED_TRACE(c.module + " channels " + std::to_string(c.channels) + " block " + std::to_string(c.block) + " " +
                 c.setting + (c.accumulate ? " accumulate" : ""));
    const auto dir = scratchDirectory("render");
    const int frames = 3 * kRate / 2 + 17;
    const std::vector<float> input = testSignal(c.channels, frames);
    writeFloatWav(dir / "in.wav", c.channels, kRate, input);

    std::vector<std::string> arguments{
        "render", c.module, (dir / "in.wav").string(), (dir / "out.wav").string(), "--block", std::to_string(c.block)};
    if (!c.setting.empty())
        arguments.insert(arguments.end(), {"--set", c.setting});
    if (c.accumulate)
        arguments.push_back("--accumulate");
    const RunResult result = runPlughost(arguments);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("input:  peak "), std::string::npos);
    EXPECT_NE(result.out.find("output: peak "), std::string::npos);

    int channels = 0, rate = 0;
    const std::vector<float> rendered = readFloats(dir / "out.wav", &channels, &rate);
    EXPECT_EQ(channels, c.channels);
    EXPECT_EQ(rate, kRate);
    const std::vector<float> direct =
        processDirectly(c.module, input, c.channels, c.block, c.parameter, c.value, c.accumulate);
    ASSERT_EQ(rendered.size(), direct.size());
    for (std::size_t i = 0; i < direct.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint32_t>(rendered[i]), std::bit_cast<std::uint32_t>(direct[i]))
            << "sample " << i / static_cast<std::size_t>(c.channels) << " channel "
            << i % static_cast<std::size_t>(c.channels) << ": " << rendered[i] << " vs " << direct[i];
}

} // namespace

TEST(PlughostRender, MatchesDirectProcessingOfTheFakeModule)
{
    expectRenderMatchesDirect({fakeModule("pass_through"), 2, 512, "Gain=0.25", 0, 0.25f, false});
    expectRenderMatchesDirect({fakeModule("pass_through"), 1, 100, "", -1, 0.0f, true});
}

#ifdef SHAPER_MODULE_PATH
TEST(PlughostRender, MatchesDirectProcessingOfTheShaper)
{
    expectRenderMatchesDirect({SHAPER_MODULE_PATH, 2, 512, "", -1, 0.0f, false});
    expectRenderMatchesDirect({SHAPER_MODULE_PATH, 1, 333, "Boost=0.3", 0, 0.3f, false});
    expectRenderMatchesDirect({SHAPER_MODULE_PATH, 2, 64, "hardness=1", 2, 1.0f, true});
}
#endif

TEST(PlughostRender, KeepsTheInputFormatAndClipsIntegerOutput)
{
    const auto dir = scratchDirectory("format");
    writeWav(dir / "in.wav", 1, 44100, std::vector<float>(1000, 0.75f), kPcm16Wav);
    // Gain 2 takes 0.75 to 1.5, which a 16-bit file must clip, not wrap around.
    ASSERT_EQ(runPlughost({"render", fakeModule("pass_through"), (dir / "in.wav").string(), (dir / "pcm.wav").string(),
                           "--set", "Gain=1"})
                  .exitCode,
              0);
    EXPECT_EQ(formatOf(dir / "pcm.wav"), kPcm16Wav);
    const std::vector<float> clipped = readFloats(dir / "pcm.wav");
    ASSERT_EQ(clipped.size(), 1000u);
    EXPECT_NEAR(clipped[500], 1.0f, 1e-4f);

    ASSERT_EQ(runPlughost({"render", fakeModule("pass_through"), (dir / "in.wav").string(),
                           (dir / "float.wav").string(), "--set", "Gain=1", "--format", "float"})
                  .exitCode,
              0);
    EXPECT_EQ(formatOf(dir / "float.wav"), kFloatWav);
    EXPECT_EQ(readFloats(dir / "float.wav")[500], 2.0f * readFloats(dir / "in.wav")[500]);
}

TEST(PlughostRender, ShowsProgressOnlyOnATerminalForLongRenders)
{
    const auto dir = scratchDirectory("progress");
    writeFloatWav(dir / "long.wav", 1, 8000, std::vector<float>(8000 * 4, 0.1f));
    writeFloatWav(dir / "short.wav", 1, 8000, std::vector<float>(8000 * 2, 0.1f));
    const RunResult piped =
        runPlughost({"render", fakeModule("pass_through"), (dir / "long.wav").string(), (dir / "o.wav").string()});
    EXPECT_EQ(piped.err, "");
    // script(1) gives plughost a terminal and copies what it shows to standard output.
    const auto onTerminal = [&](const std::string& input) {
        const std::string command = std::string("script -qec \"'") + PLUGHOST_PATH + "' render '" +
                                    fakeModule("pass_through") + "' '" + (dir / input).string() + "' '" +
                                    (dir / "o.wav").string() + "'\" /dev/null > '" + (dir / "tty").string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
        std::ifstream file(dir / "tty");
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    EXPECT_NE(onTerminal("long.wav").find("] 100%"), std::string::npos);
    EXPECT_EQ(onTerminal("short.wav").find("%"), std::string::npos);
}
