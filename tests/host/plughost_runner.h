// Running the plughost executable from tests, and the files those runs need.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace plughost_test {

struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
    double processorSeconds; // the run's user and system time: unlike the wall clock, not longer on a busy machine
};

// Runs plughost with the arguments, capturing both streams and the exit code.
RunResult runPlughost(const std::vector<std::string>& arguments);

// A fresh folder for one test's files, removed with all it holds when the
// object dies, also when a failed assertion ends the test early. All of them
// live in one folder per test process, which is removed when the tests end.
class ScratchDirectory {
public:
    explicit ScratchDirectory(const std::string& name);
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& path() const noexcept { return folder; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return folder / name; }
    std::string string() const { return folder.string(); }

private:
    std::filesystem::path folder;
};

inline ScratchDirectory scratchDirectory(const std::string& name)
{
    return ScratchDirectory(name);
}

// The names in a folder, sorted.
std::vector<std::string> folderContents(const std::filesystem::path& folder);

std::string fakeModule(const std::string& kind);
// The bundle folder of a stand-in LV2 plug-in, whose URI is urn:plughost-test:NAME.
std::string fakeLv2(const std::string& name);

// libsndfile format words of the files the tests write.
extern const int kFloatWav;
extern const int kPcm16Wav;

// Audio files of interleaved samples.
void writeWav(const std::filesystem::path& path, int channels, int sampleRate, const std::vector<float>& samples,
              int format);
void writeFloatWav(const std::filesystem::path& path, int channels, int sampleRate, const std::vector<float>& samples);
int formatOf(const std::filesystem::path& path);
std::vector<float> readFloats(const std::filesystem::path& path, int* channels = nullptr, int* sampleRate = nullptr);

std::vector<std::string> lines(const std::string& text);

} // namespace plughost_test
