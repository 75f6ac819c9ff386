// plughost render feeds the file through the module block by block and writes
// what it answers: checked against outputs known without plughost's loop (the
// curve's values, modules whose output reveals the channel and block mapping).
#include "plughost_runner.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>

using namespace plughost_test;

namespace {

constexpr int kRate = 48000;

struct Pair {
    float input;
    float expected;
};

// Renders a stereo float file whose left and right channels are the pairs'
// inputs (right in reverse order, so the channels differ), and checks every
// output sample bit for bit against the pairs' expectations.
void expectCurve(const std::string& module, const std::vector<std::string>& options, const std::vector<Pair>& pairs)
{
    std::string trace;
    for (const std::string& option : options)
        trace += option + " ";
    SCOPED_TRACE(trace);
    const ScratchDirectory dir("curve-values");
    const std::size_t frames = pairs.size();
    std::vector<float> input(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        input[2 * i] = pairs[i].input;
        input[2 * i + 1] = pairs[frames - 1 - i].input;
    }
    writeFloatWav(dir / "in.wav", 2, kRate, input);
    std::vector<std::string> arguments{"render", module, (dir / "in.wav").string(), (dir / "out.wav").string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const RunResult result = runPlughost(arguments);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    int channels = 0, rate = 0;
    const std::vector<float> output = readFloats(dir / "out.wav", &channels, &rate);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, kRate);
    ASSERT_EQ(output.size(), input.size());
    for (std::size_t i = 0; i < frames; ++i) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(output[2 * i]), std::bit_cast<std::uint32_t>(pairs[i].expected))
            << "left, input " << pairs[i].input << ": " << output[2 * i] << " instead of " << pairs[i].expected;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(output[2 * i + 1]),
                  std::bit_cast<std::uint32_t>(pairs[frames - 1 - i].expected))
            << "right, input " << pairs[frames - 1 - i].input << ": " << output[2 * i + 1] << " instead of "
            << pairs[frames - 1 - i].expected;
    }
}

// Renders `samples` (interleaved, `channels` wide) and answers the output's samples.
std::vector<float> rendered(const std::string& module, int channels, const std::vector<float>& samples,
                            const std::vector<std::string>& options, int* outputChannels = nullptr)
{
    const ScratchDirectory dir("mapping");
    writeFloatWav(dir / "in.wav", channels, kRate, samples);
    std::vector<std::string> arguments{"render", module, (dir / "in.wav").string(), (dir / "out.wav").string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const RunResult result = runPlughost(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    if (result.exitCode != 0)
        return {};
    return readFloats(dir / "out.wav", outputChannels);
}

} // namespace

#ifdef SHAPER_MODULE_PATH
TEST(PlughostRender, ShaperOutputIsTheCurveAtChosenSamples)
{
    const float nearest0975 = static_cast<float>(0.975);
    const float nearestTenElevenths = static_cast<float>(10.0 / 11.0);
    // Defaults: Boost 1x, Knee 0.5, Hardness 0.
    const std::vector<Pair> defaults{{0.25f, 0.25f},
                                     {0.5f, 0.5f},
                                     {1.0f, 0.75f},
                                     {2.0f, 0.875f},
                                     {-1.0f, -0.75f},
                                     {10.0f, nearest0975},
                                     {0.75f, 0.666666686534881591796875f},
                                     {0.0f, 0.0f},
                                     {-0.0f, -0.0f}};
    for (const int block : {512, 4, 1})
        expectCurve(SHAPER_MODULE_PATH, {"--block", std::to_string(block)}, defaults);
    // process adds into cleared buffers, and +0 + -0 is +0.
    std::vector<Pair> accumulated = defaults;
    accumulated.back().expected = 0.0f;
    expectCurve(SHAPER_MODULE_PATH, {"--accumulate", "--block", "3"}, accumulated);
    // Boost at its top is a gain of 11: 0.25 becomes 2.75, bent to 10/11.
    expectCurve(SHAPER_MODULE_PATH, {"--set", "Boost=1"}, {{0.25f, nearestTenElevenths}, {0.01f, 0.01f * 11.0f}});
    // Hardness 1 is flat at the knee.
    expectCurve(SHAPER_MODULE_PATH, {"--set", "hardness=1"},
                {{0.5f, 0.5f}, {0.6f, 0.5f}, {3.0f, 0.5f}, {-0.75f, -0.5f}, {0.25f, 0.25f}});
    // Knee 0 with Hardness 1 is silence, keeping the input's sign.
    expectCurve(SHAPER_MODULE_PATH, {"--set", "Knee=0", "--set", "Hardness=1"},
                {{0.5f, 0.0f}, {-0.25f, -0.0f}, {1.0f, 0.0f}});
}
#endif

TEST(PlughostRender, MonoFileFeedsBothInputs)
{
    // The crossed module writes each input to the other channel's output, so a
    // mono file comes back only when its samples reached the second input too.
    const std::vector<float> mono{0.1f, -0.2f, 0.3f, 0.4f, -0.5f, 0.6f, 0.7f};
    int channels = 0;
    const std::vector<float> out =
        rendered(fakeModule("crossed"), 1, mono, {"--set", "Gain=0.25", "--block", "3"}, &channels);
    EXPECT_EQ(channels, 1);
    ASSERT_EQ(out.size(), mono.size());
    for (std::size_t i = 0; i < mono.size(); ++i)
        EXPECT_EQ(out[i], mono[i] * 0.5f) << "sample " << i;
}

TEST(PlughostRender, StereoChannelsReachTheirOwnInputsAndOutputs)
{
    const std::vector<float> stereo{0.1f, -0.9f, 0.2f, -0.8f, 0.3f, -0.7f};
    for (const bool accumulate : {false, true}) {
        SCOPED_TRACE(accumulate ? "process" : "processReplacing");
        std::vector<std::string> options{"--set", "Gain=0.25"};
        if (accumulate)
            options.push_back("--accumulate");
        // Through the crossed module, left comes out on the right and right on the left.
        const std::vector<float> crossed = rendered(fakeModule("crossed"), 2, stereo, options);
        ASSERT_EQ(crossed.size(), stereo.size());
        for (std::size_t i = 0; i < stereo.size(); i += 2) {
            EXPECT_EQ(crossed[i], stereo[i + 1] * 0.5f) << "frame " << i / 2;
            EXPECT_EQ(crossed[i + 1], stereo[i] * 0.5f) << "frame " << i / 2;
        }
    }
}

TEST(PlughostRender, EveryBlockHasTheSizeAskedForAndTheLastOneTheRest)
{
    // The block-length module answers each sample with the length of its block.
    const struct {
        int frames;
        int block;
        std::vector<int> blocks;
    } cases[] = {
        {1000, 333, {333, 333, 333, 1}},
        {10, 512, {10}},
        {12, 4, {4, 4, 4}},
        {7, 1, {1, 1, 1, 1, 1, 1, 1}},
    };
    for (const auto& c : cases)
        for (const bool accumulate : {false, true}) {
            SCOPED_TRACE(std::to_string(c.frames) + " frames in blocks of " + std::to_string(c.block) +
                         (accumulate ? ", process" : ", processReplacing"));
            std::vector<std::string> options{"--block", std::to_string(c.block)};
            if (accumulate)
                options.push_back("--accumulate");
            const std::vector<float> out = rendered(
                fakeModule("block_length"), 1, std::vector<float>(static_cast<std::size_t>(c.frames), 0.5f), options);
            std::vector<float> expected;
            for (const int length : c.blocks)
                expected.insert(expected.end(), static_cast<std::size_t>(length), static_cast<float>(length));
            EXPECT_EQ(out, expected);
        }
}

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

// libsndfile alone takes float samples to integers toward minus infinity: half a step of
// DC and 6 dB more noise. Each row: a sample, and the pcm16 and pcm24 values it must give,
// the nearest integer, ties to even, clamped at full scale; NaN gives 0.
TEST(PlughostRender, IntegerOutputIsRoundedToNearestNotFloored)
{
    constexpr float k16 = 0x1p-15f; // a step of pcm16
    constexpr float k24 = 0x1p-23f;
    const struct {
        float sample;
        int pcm16, pcm24;
    } rows[] = {
        {0.75f * k16, 1, 192},   {-0.25f * k16, 0, -64},
        {0.5f * k16, 0, 128},    {1.5f * k16, 2, 384},
        {2.5f * k16, 2, 640},    {-0.5f * k16, 0, -128},
        {-1.5f * k16, -2, -384}, {0.5f * k24, 0, 0},
        {1.5f * k24, 0, 2},      {-0.75f * k24, 0, -1},
        {1.0f, 32767, 8388607},  {-1.0f, -32768, -8388608},
        {3.0f, 32767, 8388607},  {-std::numeric_limits<float>::infinity(), -32768, -8388608},
        {std::nanf(""), 0, 0},   {0.999f, 32735, 8380220},
    };
    std::vector<float> samples;
    for (const auto& row : rows)
        samples.push_back(row.sample);
    for (const int bits : {16, 24}) {
        SCOPED_TRACE("pcm" + std::to_string(bits));
        const std::vector<float> out =
            rendered(fakeModule("pass_through"), 1, samples, {"--format", "pcm" + std::to_string(bits)});
        ASSERT_EQ(out.size(), samples.size());
        for (std::size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i] * std::ldexp(1.0f, bits - 1), bits == 16 ? rows[i].pcm16 : rows[i].pcm24)
                << "sample " << rows[i].sample;
    }
}

// TPDF dither makes the rounding error independent of the signal: a level a quarter step
// above zero, which rounding alone takes to silence, comes out on average a quarter step,
// and the same noise every run keeps renders repeatable.
TEST(PlughostRender, TpdfDitherKeepsAQuarterStepOnAverageAndRepeats)
{
    const std::vector<float> quarter(20000, 0.25f * 0x1p-15f);
    const std::vector<std::string> options{"--format", "pcm16", "--dither", "tpdf"};
    const std::vector<float> out = rendered(fakeModule("pass_through"), 1, quarter, options);
    ASSERT_EQ(out.size(), quarter.size());
    double sum = 0.0;
    for (const float sample : out) {
        const float steps = sample * 0x1p15f;
        ASSERT_TRUE(steps == -1.0f || steps == 0.0f || steps == 1.0f) << steps;
        sum += steps;
    }
    EXPECT_NEAR(sum / static_cast<double>(out.size()), 0.25, 0.02);
    EXPECT_EQ(rendered(fakeModule("pass_through"), 1, quarter, options), out);
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

TEST(PlughostRender, NaNSamplesAreCountedApartFromTheLevels)
{
    const auto dir = scratchDirectory("nan");
    std::vector<float> samples(1000, 0.5f);
    samples[10] = std::nanf("");
    writeFloatWav(dir / "in.wav", 1, 8000, samples);
    const RunResult result = runPlughost({"render", fakeModule("pass_through"), (dir / "in.wav").string(),
                                          (dir / "out.wav").string(), "--set", "Gain=0.5"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "input:  peak -6.02 dBFS, RMS -6.02 dBFS; 1 NaN or infinite sample(s) left out\n"
                          "output: peak -6.02 dBFS, RMS -6.02 dBFS; 1 NaN or infinite sample(s) left out\n");
}

TEST(PlughostRender, TheProgressBarFitsANarrowTerminal)
{
    const auto dir = scratchDirectory("narrow");
    writeFloatWav(dir / "long.wav", 1, 8000, std::vector<float>(8000 * 4, 0.1f));
    for (const int columns : {80, 30, 12, 6}) {
        SCOPED_TRACE(std::to_string(columns) + " columns");
        const std::string command = "script -qec \"stty cols " + std::to_string(columns) + "; '" + PLUGHOST_PATH +
                                    "' render '" + fakeModule("pass_through") + "' '" + (dir / "long.wav").string() +
                                    "' '" + (dir / "o.wav").string() + "' --block 64\" /dev/null > '" +
                                    (dir / "tty").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream file(dir / "tty");
        const std::string shown(std::istreambuf_iterator<char>(file), {});
        EXPECT_NE(shown.find("100%"), std::string::npos) << shown;
        // Each redraw starts with a carriage return and must stay narrower than the
        // terminal: a line that wraps leaves every redraw on a new line.
        std::size_t widest = 0, redraws = 0;
        for (std::size_t start = shown.find('\r'); start != std::string::npos; start = shown.find('\r', start + 1)) {
            const std::size_t end = std::min(shown.find_first_of("\r\n", start + 1), shown.size());
            widest = std::max(widest, end - start - 1);
            ++redraws;
        }
        EXPECT_LT(widest, static_cast<std::size_t>(columns));
        EXPECT_GE(redraws, 50u);
    }
}
