// The host features plughost gives LV2 plug-ins: URID map and unmap, options with the
// sample rate and the block lengths, and the promise of a bounded block length. These
// are what common plug-ins require; one that requires anything else is refused.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

namespace plughost {

class Lv2Features {
public:
    Lv2Features();
    Lv2Features(const Lv2Features&) = delete;
    Lv2Features& operator=(const Lv2Features&) = delete;

    // True for a feature URI that list() provides or that asks nothing of a host.
    static bool provides(const std::string& uri);

    // [main thread] Sets the options that instantiate hands on.
    void setRun(double sampleRate, int longestBlock);

    // The null-terminated list for instantiate; it lives as long as this object.
    const LV2_Feature* const* list() const noexcept { return featureList.data(); }

    // [any thread] May lock: plug-ins map URIs when they are made, not in run.
    LV2_URID map(const char* uri);

private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri);
    static const char* unmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid);

    std::mutex lock;
    std::deque<std::string> uris; // index + 1 is the URID; a deque keeps each string where it is
    std::unordered_map<std::string, LV2_URID> urids;

    LV2_URID_Map mapData{};
    LV2_URID_Unmap unmapData{};
    float sampleRate = 48000.0f;
    std::int32_t minBlock = 1, maxBlock = 512, nominalBlock = 512, sequenceSize = 0;
    std::array<LV2_Options_Option, 6> options{};
    std::array<LV2_Feature, 4> features{};
    std::array<const LV2_Feature*, 5> featureList{};
};

} // namespace plughost
