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
};

// Runs plughost with the arguments, capturing both streams and the exit code.
RunResult runPlughost(const std::vector<std::string>& arguments);

// A fresh directory for one test's files.
std::filesystem::path scratchDirectory(const std::string& name);

std::string fakeModule(const std::string& kind);

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
