#include "audio_file.h"

#include "module.h"

#include <sndfile.h>

namespace plughost {

AudioReader::AudioReader(const std::string& path)
{
    SF_INFO info{};
    file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file)
        throw UserError(path + ": cannot read audio: " + sf_strerror(nullptr));
    channelCount = info.channels;
    rate = info.samplerate;
    frameCount = info.frames;
    fileFormat = info.format;
    if (channelCount > 2) {
        sf_close(file);
        file = nullptr;
        throw UserError(path + ": has " + std::to_string(channelCount) +
                        " channels; only mono and stereo files can be rendered");
    }
}

AudioReader::~AudioReader()
{
    if (file)
        sf_close(file);
}

int AudioReader::read(float* interleaved, int count)
{
    return static_cast<int>(sf_readf_float(file, interleaved, count));
}

AudioWriter::AudioWriter(const std::string& path, int format, bool asFloat, int channels, int sampleRate)
    : filePath(path)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = asFloat ? (format & SF_FORMAT_TYPEMASK) | SF_FORMAT_FLOAT : format;
    if (!sf_format_check(&info))
        throw UserError(path + ": this file type cannot hold 32-bit float samples; choose .wav, .aiff or .caf");
    file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        throw UserError(path + ": cannot write audio: " + sf_strerror(nullptr));
    // Integer formats would wrap around on samples beyond full scale; clip them instead.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter()
{
    close();
}

void AudioWriter::write(const float* interleaved, int count)
{
    if (sf_writef_float(file, interleaved, count) != count)
        throw UserError(filePath + ": cannot write audio: " + sf_strerror(file));
}

void AudioWriter::close()
{
    if (file)
        sf_close(file);
    file = nullptr;
}

} // namespace plughost
