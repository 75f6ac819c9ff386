// plughost render writes the container its output's name asks for, the sample
// encoding --format asks for (or the input's, or the nearest one), refuses a
// pair no file can hold, and writes the same bytes for the same render.
#include "plughost_runner.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

using namespace plughost_test;

namespace {

std::string bytesOf(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

struct Inputs {
    ScratchDirectory dir{"formats"};
    Inputs()
    {
        const std::vector<float> signal = [] {
            std::vector<float> samples(2 * 4000);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = 0.6f * static_cast<float>((i * 37) % 101) / 101.0f - 0.3f;
            return samples;
        }();
        writeWav(dir / "pcm16.wav", 2, 44100, signal, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        writeWav(dir / "pcm24.wav", 2, 44100, signal, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
        writeWav(dir / "float.wav", 2, 44100, signal, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    }
    std::string input(const std::string& name) const { return (dir / name).string(); }
};

RunResult render(const std::string& in, const std::string& out, const std::string& format = "")
{
    std::vector<std::string> arguments{"render", fakeModule("pass_through"), in, out};
    if (!format.empty())
        arguments.insert(arguments.end(), {"--format", format});
    return runPlughost(arguments);
}

} // namespace

TEST(PlughostFormats, EachExtensionWritesItsContainer)
{
    const Inputs inputs;
    const struct {
        const char* name;
        std::string magic;
        std::size_t secondOffset;
        std::string second;
        int container;
    } cases[] = {
        {"out.wav", "RIFF", 8, "WAVE", SF_FORMAT_WAV},  {"OUT.WAV", "RIFF", 8, "WAVE", SF_FORMAT_WAV},
        {"out.flac", "fLaC", 0, "", SF_FORMAT_FLAC},    {"out.aiff", "FORM", 8, "AIFF", SF_FORMAT_AIFF},
        {"out.aif", "FORM", 8, "AIFF", SF_FORMAT_AIFF}, {"out.caf", "caff", 0, "", SF_FORMAT_CAF},
        {"out.ogg", "OggS", 0, "", SF_FORMAT_OGG},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const RunResult result = render(inputs.input("pcm16.wav"), (inputs.dir / c.name).string());
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const std::string bytes = bytesOf(inputs.dir / c.name);
        EXPECT_EQ(bytes.substr(0, 4), c.magic);
        EXPECT_EQ(bytes.substr(c.secondOffset, c.second.size()), c.second);
        EXPECT_EQ(formatOf(inputs.dir / c.name) & SF_FORMAT_TYPEMASK, c.container);
        int channels = 0;
        EXPECT_EQ(readFloats(inputs.dir / c.name, &channels).size(), 2u * 4000u);
        EXPECT_EQ(channels, 2);
    }
}

TEST(PlughostFormats, FormatOrTheInputChoosesTheSamples)
{
    const Inputs inputs;
    const struct {
        const char* input;
        const char* output;
        const char* format;
        int expected;
    } cases[] = {
        {"pcm16.wav", "a.wav", "", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"pcm16.wav", "b.wav", "float", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"pcm16.wav", "c.wav", "FLOAT", SF_FORMAT_WAV | SF_FORMAT_FLOAT},
        {"pcm16.wav", "d.wav", "Pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"float.wav", "e.wav", "pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"pcm24.wav", "f.wav", "", SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"float.wav", "g.aiff", "", SF_FORMAT_AIFF | SF_FORMAT_FLOAT},
        {"pcm24.wav", "h.caf", "", SF_FORMAT_CAF | SF_FORMAT_PCM_24},
        {"pcm16.wav", "i.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"pcm16.wav", "j.flac", "pcm24", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        // FLAC holds no float samples: the nearest is 24-bit.
        {"float.wav", "k.flac", "", SF_FORMAT_FLAC | SF_FORMAT_PCM_24},
        {"float.wav", "l.ogg", "", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.input) + " -> " + c.output + " " + c.format);
        const RunResult result = render(inputs.input(c.input), (inputs.dir / c.output).string(), c.format);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(formatOf(inputs.dir / c.output), c.expected);
    }
}

TEST(PlughostFormats, AnImpossiblePairIsOneLineNamingWhatWorks)
{
    const Inputs inputs;
    const struct {
        const char* output;
        const char* format;
        const char* message;
    } cases[] = {
        {"a.flac", "float",
         "a.flac: a .flac file cannot hold float samples; with .flac use --format pcm16 or pcm24, or write float to "
         ".wav, .aiff, .aif or .caf"},
        {"b.ogg", "pcm16", "b.ogg: a .ogg file holds compressed audio, not pcm16 samples; leave out --format for .ogg"},
        {"c.mp3", "",
         "c.mp3: '.mp3' is not an audio type written here; name the output .wav, .flac, .aiff, .aif, "
         ".caf or .ogg"},
        {"noextension", "", "noextension: has no extension; name the output .wav"},
        {"d.wav", "pcm8", "--format 'pcm8' is not a sample format; choose pcm16, pcm24 or float"},
    };
    const auto before = folderContents(inputs.dir.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const RunResult result = render(inputs.input("float.wav"), (inputs.dir / c.output).string(), c.format);
        EXPECT_EQ(result.exitCode, 2);
        const auto errorLines = lines(result.err);
        ASSERT_EQ(errorLines.size(), 1u) << result.err;
        EXPECT_NE(errorLines[0].find(c.message), std::string::npos) << errorLines[0];
    }
    EXPECT_EQ(folderContents(inputs.dir.path()), before);
}

TEST(PlughostFormats, RepeatedRendersWriteTheSameBytes)
{
    const Inputs inputs;
    const struct {
        const char* input;
        const char* output;
        const char* format;
    } cases[] = {
        {"pcm16.wav", "a.wav", ""}, {"pcm16.wav", "b.wav", "float"}, {"float.wav", "c.aiff", ""},
        {"float.wav", "d.caf", ""}, {"pcm16.wav", "e.flac", ""},     {"pcm16.wav", "f.ogg", ""},
    };
    const auto renderAll = [&](const std::string& prefix) {
        for (const auto& c : cases)
            ASSERT_EQ(render(inputs.input(c.input), (inputs.dir / (prefix + c.output)).string(), c.format).exitCode, 0)
                << c.output;
    };
    renderAll("first-");
    // A time stamp in the file would differ after a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    renderAll("second-");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        const std::string first = bytesOf(inputs.dir / ("first-" + std::string(c.output)));
        EXPECT_GT(first.size(), 100u);
        EXPECT_TRUE(first == bytesOf(inputs.dir / ("second-" + std::string(c.output))));
    }
}
