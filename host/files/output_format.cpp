#include "output_format.h"

#include "user_error.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <vector>

namespace plughost {

namespace {

struct Container {
    const char* extension;
    int format;
};

constexpr std::array kContainers{
    Container{".wav", SF_FORMAT_WAV},  Container{".flac", SF_FORMAT_FLAC}, Container{".aiff", SF_FORMAT_AIFF},
    Container{".aif", SF_FORMAT_AIFF}, Container{".caf", SF_FORMAT_CAF},   Container{".ogg", SF_FORMAT_OGG},
};

struct Encoding {
    const char* name;
    int subtype;
};

constexpr std::array kEncodings{
    Encoding{"pcm16", SF_FORMAT_PCM_16},
    Encoding{"pcm24", SF_FORMAT_PCM_24},
    Encoding{"float", SF_FORMAT_FLOAT},
};

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool holds(int container, int subtype, int channels, int sampleRate)
{
    SF_INFO info{};
    info.format = container | subtype;
    info.channels = channels;
    info.samplerate = sampleRate;
    return sf_format_check(&info) != 0;
}

// "a, b or c"
std::string alternatives(const std::vector<std::string>& names)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}

std::vector<std::string> writableExtensions(int subtype, int channels, int sampleRate)
{
    std::vector<std::string> names;
    for (const Container& container : kContainers)
        if (subtype == 0 ? holds(container.format, SF_FORMAT_PCM_16, channels, sampleRate) ||
                               holds(container.format, SF_FORMAT_VORBIS, channels, sampleRate)
                         : holds(container.format, subtype, channels, sampleRate))
            names.push_back(container.extension);
    return names;
}

// Encodings to try when none is requested, nearest to the input's first.
std::vector<int> defaultCandidates(int inputSubtype)
{
    switch (inputSubtype) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
        return {inputSubtype, SF_FORMAT_FLOAT, SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS};
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
        return {inputSubtype, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT, SF_FORMAT_PCM_16, SF_FORMAT_VORBIS};
    default:
        return {inputSubtype, SF_FORMAT_PCM_16, SF_FORMAT_PCM_24, SF_FORMAT_FLOAT, SF_FORMAT_VORBIS};
    }
}

} // namespace

int chooseOutputFormat(const std::string& outputPath, int inputFormat, const std::string& requested, int channels,
                       int sampleRate)
{
    const std::string extension = lowered(std::filesystem::path(outputPath).extension().string());
    const auto container = std::find_if(kContainers.begin(), kContainers.end(),
                                        [&](const Container& c) { return extension == c.extension; });
    const std::string known = alternatives(writableExtensions(0, channels, sampleRate));
    if (container == kContainers.end())
        throw UserError(
            outputPath + ": " +
            (extension.empty() ? "has no extension" : "'" + extension + "' is not an audio type written here") +
            "; name the output " + known);
    const std::vector<std::string> sameContainer = [&] {
        std::vector<std::string> names;
        for (const Encoding& encoding : kEncodings)
            if (holds(container->format, encoding.subtype, channels, sampleRate))
                names.push_back(encoding.name);
        return names;
    }();

    if (requested.empty()) {
        for (const int subtype : defaultCandidates(inputFormat & SF_FORMAT_SUBMASK))
            if (holds(container->format, subtype, channels, sampleRate))
                return container->format | subtype;
        throw UserError(outputPath + ": this build of libsndfile cannot write " + extension + " files with " +
                        std::to_string(channels) + " channel(s) at " + std::to_string(sampleRate) +
                        " Hz; name the output " + known);
    }

    const std::string wanted = lowered(requested);
    const auto encoding =
        std::find_if(kEncodings.begin(), kEncodings.end(), [&](const Encoding& e) { return wanted == e.name; });
    if (encoding == kEncodings.end())
        throw UserError("--format '" + requested + "' is not a sample format; choose pcm16, pcm24 or float");
    if (holds(container->format, encoding->subtype, channels, sampleRate))
        return container->format | encoding->subtype;
    const std::string elsewhere = alternatives(writableExtensions(encoding->subtype, channels, sampleRate));
    if (sameContainer.empty())
        throw UserError(outputPath + ": a " + extension + " file holds compressed audio, not " + encoding->name +
                        " samples; leave out --format for " + extension + ", or write " + encoding->name + " to " +
                        elsewhere);
    throw UserError(outputPath + ": a " + extension + " file cannot hold " + encoding->name + " samples; with " +
                    extension + " use --format " + alternatives(sameContainer) + ", or write " + encoding->name +
                    " to " + elsewhere);
}

Dither chooseDither(const std::string& requested, int outputFormat, const std::string& outputPath)
{
    const std::string name = lowered(requested);
    if (name.empty() || name == "none")
        return Dither::none;
    if (name != "tpdf")
        throw UserError("--dither '" + requested + "' is not a dither; choose tpdf or none");
    const int subtype = outputFormat & SF_FORMAT_SUBMASK;
    if (subtype != SF_FORMAT_PCM_16 && subtype != SF_FORMAT_PCM_24)
        throw UserError(outputPath + ": --dither tpdf applies to pcm16 and pcm24 samples, and this output gets " +
                        (subtype == SF_FORMAT_FLOAT ? "float samples" : "compressed audio"));
    return Dither::tpdf;
}

} // namespace plughost
