#include "audio_file.h"

#include "atomic_output.h"
#include "ogg_serial.h"
#include "user_error.h"

#include <sndfile.h>

#include <cstdio>
#include <sstream>

namespace plughost {

namespace {

// libsndfile reads a WAV or AIFF file whose audio chunk is shorter than its header says
// as far as it goes, and says so only in its log: "data : 192000 (should be 99956)", in
// bytes ("SSND" in AIFF). Neither a header that declares less than the file holds nor one
// that declares about 2 or 4 GiB, the marks of a writer that streamed to a pipe and never
// knew the length (0x7ffff000, 0x7fffffff, 0xffffffff), is damage.
bool headerClaimsMoreThanTheFileHolds(SNDFILE* file)
{
    constexpr long long kLengthUnknown = 0x7ffff000;
    char log[8192] = "";
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        char chunk[5] = "";
        long long declared = 0;
        long long present = 0;
        if (std::sscanf(line.c_str(), " %4s : %lld (should be %lld)", chunk, &declared, &present) == 3 &&
            (std::string(chunk) == "data" || std::string(chunk) == "SSND") && declared > present &&
            declared < kLengthUnknown)
            return true;
    }
    return false;
}

// libsndfile's message for the file's last error, as a phrase: "flac decoder lost sync"
// where it says "Error : flac decoder lost sync.".
std::string reason(SNDFILE* file)
{
    std::string text = sf_strerror(file);
    if (text.rfind("Error : ", 0) == 0)
        text.erase(0, 8);
    while (!text.empty() && (text.back() == '.' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

AudioReader::AudioReader(const std::string& path) : filePath(path)
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
    std::string damage;
    if (headerClaimsMoreThanTheFileHolds(file))
        damage =
            "its header declares more audio than the file holds (" + std::to_string(frameCount) + " frames are there)";
    // An Ogg file cut short has no last page, so its length is unknown; libsndfile then reads nothing.
    else if ((fileFormat & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG && frameCount == SF_COUNT_MAX && info.seekable)
        damage = "its Ogg stream ends without its last page (the file was cut short)";
    if (!damage.empty()) {
        sf_close(file);
        file = nullptr;
        throw UserError(path + ": damaged: " + damage);
    }
}

AudioReader::~AudioReader()
{
    if (file)
        sf_close(file);
}

int AudioReader::read(float* interleaved, int count)
{
    const sf_count_t got = sf_readf_float(file, interleaved, count);
    if (sf_error(file) != SF_ERR_NO_ERROR)
        throw UserError(filePath + ": damaged: reading stopped after " + std::to_string(framesRead + got) +
                        " frames (" + reason(file) + ")");
    framesRead += got;
    // A decoder that loses its way (a FLAC file cut short) only ends early. Where the length
    // is unknown (an Ogg stream without its end), libsndfile declares SF_COUNT_MAX.
    if (got < count && frameCount != SF_COUNT_MAX && framesRead < frameCount)
        throw UserError(filePath + ": damaged: it ends after " + std::to_string(framesRead) + " of the " +
                        std::to_string(frameCount) + " frames its header declares");
    return static_cast<int>(got);
}

AudioWriter::AudioWriter(const AtomicOutput& output, int format, int channels, int sampleRate, Dither dither)
    : filePath(output.target()), writtenPath(output.path()), fileFormat(format), channelCount(channels)
{
    if ((format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 || (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24)
        integers = std::make_unique<IntegerSamples>((format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 ? 16 : 24, dither);
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format;
    file = sf_open(output.path().c_str(), SFM_WRITE, &info);
    if (!file)
        throw UserError(filePath + ": cannot write audio: " + sf_strerror(nullptr));
    // The PEAK chunk carries the time of writing; without it a render is reproducible.
    sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
}

AudioWriter::~AudioWriter()
{
    if (file)
        sf_close(file);
}

void AudioWriter::write(const float* interleaved, int count)
{
    sf_count_t written = 0;
    if (integers) {
        // libsndfile would take float samples to integers toward minus infinity, not to nearest.
        integerBuffer.resize(static_cast<std::size_t>(count) * static_cast<std::size_t>(channelCount));
        integers->convert(interleaved, integerBuffer.data(), integerBuffer.size());
        written = sf_writef_int(file, integerBuffer.data(), count);
    } else {
        written = sf_writef_float(file, interleaved, count);
    }
    if (written != count)
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
