#include "lv2_features.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/parameters/parameters.h>

namespace plughost {

namespace {

// Bytes of an atom sequence port's buffer; the sequenceSize option says so.
constexpr std::int32_t kSequenceBytes = 8192;

} // namespace

Lv2Features::Lv2Features()
{
    mapData = {this, mapUri};
    unmapData = {this, unmapUrid};
    features[0] = {LV2_URID__map, &mapData};
    features[1] = {LV2_URID__unmap, &unmapData};
    features[2] = {LV2_OPTIONS__options, options.data()};
    features[3] = {LV2_BUF_SIZE__boundedBlockLength, nullptr};
    for (std::size_t i = 0; i < features.size(); ++i)
        featureList[i] = &features[i];
    featureList.back() = nullptr;
    sequenceSize = kSequenceBytes;
    const LV2_URID intType = map(LV2_ATOM__Int), floatType = map(LV2_ATOM__Float);
    const auto option = [](LV2_URID key, LV2_URID type, const void* value, std::uint32_t size) {
        return LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, key, size, type, value};
    };
    options[0] = option(map(LV2_PARAMETERS__sampleRate), floatType, &sampleRate, sizeof sampleRate);
    options[1] = option(map(LV2_BUF_SIZE__minBlockLength), intType, &minBlock, sizeof minBlock);
    options[2] = option(map(LV2_BUF_SIZE__maxBlockLength), intType, &maxBlock, sizeof maxBlock);
    options[3] = option(map(LV2_BUF_SIZE__nominalBlockLength), intType, &nominalBlock, sizeof nominalBlock);
    options[4] = option(map(LV2_BUF_SIZE__sequenceSize), intType, &sequenceSize, sizeof sequenceSize);
    options[5] = LV2_Options_Option{LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr};
}

bool Lv2Features::provides(const std::string& uri)
{
    // The last three describe the plug-in to the host and ask nothing of it.
    for (const char* known : {LV2_URID__map, LV2_URID__unmap, LV2_OPTIONS__options, LV2_BUF_SIZE__boundedBlockLength,
                              LV2_CORE__hardRTCapable, LV2_CORE__inPlaceBroken, LV2_CORE__isLive})
        if (uri == known)
            return true;
    return false;
}

void Lv2Features::setRun(double rate, int longestBlock)
{
    sampleRate = static_cast<float>(rate);
    maxBlock = longestBlock;
    nominalBlock = longestBlock;
}

LV2_URID Lv2Features::map(const char* uri)
{
    const std::lock_guard<std::mutex> guard(lock);
    const auto found = urids.find(uri);
    if (found != urids.end())
        return found->second;
    uris.emplace_back(uri);
    const auto urid = static_cast<LV2_URID>(uris.size());
    urids.emplace(uris.back(), urid);
    return urid;
}

LV2_URID Lv2Features::mapUri(LV2_URID_Map_Handle handle, const char* uri)
{
    return uri ? static_cast<Lv2Features*>(handle)->map(uri) : 0;
}

const char* Lv2Features::unmapUrid(LV2_URID_Unmap_Handle handle, LV2_URID urid)
{
    auto* self = static_cast<Lv2Features*>(handle);
    const std::lock_guard<std::mutex> guard(self->lock);
    return urid >= 1 && urid <= self->uris.size() ? self->uris[urid - 1].c_str() : nullptr;
}

} // namespace plughost
