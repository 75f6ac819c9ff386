#include "plughost_runner.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace plughost_test {

namespace {

std::string quoted(const std::string& argument)
{
    std::string text = "'";
    for (const char c : argument)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

// The user and system time of every child process this one has waited for.
double childProcessorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + 1e-6 * t.tv_usec; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string slurp(const std::filesystem::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The folder that holds this process's scratch folders, removed when the tests end.
std::filesystem::path processFolder()
{
    static const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("plughost-test-" + std::to_string(::getpid()));
    return folder;
}

class RemoveProcessFolder : public testing::Environment {
public:
    void TearDown() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(processFolder(), ignored);
    }
};

[[maybe_unused]] testing::Environment* const removeProcessFolder =
    testing::AddGlobalTestEnvironment(new RemoveProcessFolder);

} // namespace

RunResult runPlughost(const std::vector<std::string>& arguments)
{
    const ScratchDirectory dir("run");
    std::string command = quoted(PLUGHOST_PATH);
    for (const std::string& argument : arguments)
        command += " " + quoted(argument);
    command += " >" + quoted((dir / "out").string()) + " 2>" + quoted((dir / "err").string()) + " </dev/null";
    const double before = childProcessorSeconds();
    const int status = std::system(command.c_str());
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {exitCode, slurp(dir / "out"), slurp(dir / "err"), childProcessorSeconds() - before};
}

ScratchDirectory::ScratchDirectory(const std::string& name)
{
    static int counter = 0;
    folder = processFolder() / (name + "-" + std::to_string(++counter));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::vector<std::string> folderContents(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string fakeModule(const std::string& kind)
{
    return std::string(FAKE_MODULE_DIR) + "/fake_" + kind + ".so";
}

std::string fakeLv2(const std::string& name)
{
    return std::string(FAKE_LV2_DIR) + "/" + name + ".lv2";
}

const int kFloatWav = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
const int kPcm16Wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

void writeFloatWav(const std::filesystem::path& path, int channels, int sampleRate, const std::vector<float>& samples)
{
    writeWav(path, channels, sampleRate, samples, kFloatWav);
}

int formatOf(const std::filesystem::path& path)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw std::runtime_error("cannot read " + path.string());
    sf_close(file);
    return info.format;
}

void writeWav(const std::filesystem::path& path, int channels, int sampleRate, const std::vector<float>& samples,
              int format)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size() / static_cast<std::size_t>(channels)));
    sf_close(file);
}

std::vector<float> readFloats(const std::filesystem::path& path, int* channels, int* sampleRate)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw std::runtime_error("cannot read " + path.string());
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    if (channels)
        *channels = info.channels;
    if (sampleRate)
        *sampleRate = info.samplerate;
    return samples;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

} // namespace plughost_test
