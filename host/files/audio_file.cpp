#include "audio_file.h"

#include "atomic_output.h"
#include "ogg_serial.h"
#include "user_error.h"

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

AudioWriter::AudioWriter(const AtomicOutput& output, int format, int channels, int sampleRate)
    : filePath(output.target()), writtenPath(output.path()), fileFormat(format)
{
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format;
    file = sf_open(output.path().c_str(), SFM_WRITE, &info);
    if (!file)
        throw UserError(filePath + ": cannot write audio: " + sf_strerror(nullptr));
    // The PEAK chunk carries the time of writing; without it a render is reproducible.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    // Integer formats would wrap around on samples beyond full scale; clip them instead.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter()
{
    if (file)
        sf_close(file);
}

void AudioWriter::write(const float* interleaved, int count)
{
    if (sf_writef_float(file, interleaved, count) != count)
        throw UserError(filePath + ": cannot write audio: " + sf_strerror(file));
}

void AudioWriter::close()
{
    if (!file)
        return;
    // Closing writes the header's final sizes (and a FLAC or Vorbis encoder's last frames).
    const int status = sf_close(file);
    file = nullptr;
    if (status != 0)
        throw UserError(filePath + ": cannot write audio: " + sf_error_number(status));
    // Any fixed serial number will do; 'plug' reads well in a hex dump.
    if ((fileFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG && !setOggSerial(writtenPath, 0x67756C70))
        throw UserError(filePath + ": cannot complete the Ogg stream");
}

} // namespace plughost
