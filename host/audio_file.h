// Reading and writing audio files through libsndfile, interleaved 32-bit floats.
#pragma once

#include <cstdint>
#include <string>

struct sf_private_tag;

namespace plughost {

class AudioReader {
public:
    // Throws UserError when the file cannot be read or has more than two channels.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int channels() const noexcept { return channelCount; }
    int sampleRate() const noexcept { return rate; }
    std::int64_t frames() const noexcept { return frameCount; }
    int format() const noexcept { return fileFormat; }

    // Reads up to `count` frames; answers how many were read, 0 at the end.
    int read(float* interleaved, int count);

private:
    sf_private_tag* file = nullptr;
    int channelCount = 0;
    int rate = 0;
    std::int64_t frameCount = 0;
    int fileFormat = 0;
};

class AudioWriter {
public:
    // `format` is a libsndfile format word; with `asFloat` its sample encoding
    // becomes 32-bit float. Throws UserError when the file cannot be written.
    AudioWriter(const std::string& path, int format, bool asFloat, int channels, int sampleRate);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void write(const float* interleaved, int count);
    void close();

private:
    std::string filePath;
    sf_private_tag* file = nullptr;
};

} // namespace plughost
