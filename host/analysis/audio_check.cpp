#include "audio_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plughost {

void OutputWatch::add(const float* samples, std::size_t count) noexcept
{
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(samples[i]))
            ++nonFinite;
        else
            peak = std::max(peak, std::fabs(static_cast<double>(samples[i])));
    }
}

void OutputWatch::require(const std::string& run, double loudestDbfs) const
{
    if (nonFinite > 0)
        throw NotAudio(run + ": the output holds " + std::to_string(nonFinite) +
                       " samples that are NaN or infinite; no figure is computed from it");
    if (const double peakDb = 20.0 * std::log10(peak); peakDb > loudestDbfs) {
        char text[160];
        std::snprintf(text, sizeof text,
                      ": the output reaches %+.1f dBFS, a level no audio reaches (above %+.0f dBFS); no figure is "
                      "computed from it",
                      peakDb, loudestDbfs);
        throw NotAudio(run + text);
    }
}

std::string runName(const std::string& plugin, const std::vector<std::string>& settings)
{
    std::string text;
    for (const std::string& setting : settings)
        text += (text.empty() ? "" : ", ") + setting;
    return plugin + " at " + (text.empty() ? "its defaults" : text);
}

} // namespace plughost
