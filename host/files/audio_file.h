// host/files/: audio files (here), the format of a rendered file, and the safety of
// every file plughost writes (atomic_output.h, same_file.h, ogg_serial.h).
//
// Reading and writing audio files through libsndfile, interleaved 32-bit floats.
#pragma once

#include "integer_samples.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sf_private_tag;

namespace plughost {

class AtomicOutput;

class AudioReader {
public:
    // Throws UserError when the file cannot be read, has more than two channels, or its
    // header declares more audio than the file holds.
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int channels() const noexcept { return channelCount; }
    int sampleRate() const noexcept { return rate; }
    std::int64_t frames() const noexcept { return frameCount; }
    int format() const noexcept { return fileFormat; }

    // Reads up to `count` frames; answers how many were read, 0 at the end. Throws
    // UserError, naming the file and how much was read, when a read fails or the file
    // ends before the frames its header declares.
    int read(float* interleaved, int count);

private:
    std::string filePath;
    std::int64_t framesRead = 0;
    sf_private_tag* file = nullptr;
    int channelCount = 0;
    int rate = 0;
    std::int64_t frameCount = 0;
    int fileFormat = 0;
};

class AudioWriter {
public:
    // Writes into the output's temporary file; the output's commit() publishes it.
    // `format` is a complete libsndfile format word (see output_format.h). The
    // file holds nothing that changes from run to run (no time-stamped PEAK
    // chunk), so equal samples give equal bytes. pcm16 and pcm24 samples are
    // rounded to nearest, with dither if asked (integer_samples.h). Throws
    // UserError when the file cannot be written.
    AudioWriter(const AtomicOutput& output, int format, int channels, int sampleRate, Dither dither = Dither::none);
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    // Both throw UserError when the samples cannot all be written (a full disk).
    void write(const float* interleaved, int count);
    void close();

private:
    std::string filePath;
    std::string writtenPath;
    int fileFormat;
    int channelCount;
    std::unique_ptr<IntegerSamples> integers; // for pcm16 and pcm24 files only
    std::vector<std::int32_t> integerBuffer;
    sf_private_tag* file = nullptr;
};

} // namespace plughost
