#include "ui_host_options.h"

#include <lv2/atom/atom.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

const void* featureData(const LV2_Feature* const* features, const char* uri) noexcept
{
    for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f) {
        if (std::strcmp((*f)->URI, uri) == 0) {
            return (*f)->data;
        }
    }
    return nullptr;
}

struct NumberTypes {
    LV2_URID floatType, doubleType, intType, longType;
};

// An option's value as a number, whichever of the atom number types the host chose; 0 for
// any other type, a size that does not fit it, or a value that is no positive finite number.
double positiveNumberOf(const LV2_Options_Option& option, const NumberTypes& types) noexcept
{
    double value = 0.0;
    if (option.value == nullptr) {
        return 0.0;
    }
    if (option.type == types.floatType && option.size == sizeof(float)) {
        float number;
        std::memcpy(&number, option.value, sizeof number);
        value = number;
    } else if (option.type == types.doubleType && option.size == sizeof(double)) {
        std::memcpy(&value, option.value, sizeof value);
    } else if (option.type == types.intType && option.size == sizeof(std::int32_t)) {
        std::int32_t number;
        std::memcpy(&number, option.value, sizeof number);
        value = number;
    } else if (option.type == types.longType && option.size == sizeof(std::int64_t)) {
        std::int64_t number;
        std::memcpy(&number, option.value, sizeof number);
        value = static_cast<double>(number);
    }
    return std::isfinite(value) && value > 0.0 ? value : 0.0;
}

} // namespace

UiHostOptions readUiHostOptions(const LV2_Feature* const* features) noexcept
{
    UiHostOptions read;
    const auto* options = static_cast<const LV2_Options_Option*>(featureData(features, LV2_OPTIONS__options));
    const auto* map = static_cast<const LV2_URID_Map*>(featureData(features, LV2_URID__map));
    if (options == nullptr || map == nullptr || map->map == nullptr) {
        return read;
    }
    const NumberTypes types{map->map(map->handle, LV2_ATOM__Float), map->map(map->handle, LV2_ATOM__Double),
                            map->map(map->handle, LV2_ATOM__Int), map->map(map->handle, LV2_ATOM__Long)};
    const LV2_URID scaleFactor = map->map(map->handle, LV2_UI__scaleFactor);
    const LV2_URID sampleRate = map->map(map->handle, LV2_PARAMETERS__sampleRate);
    // The list ends at an option whose key is 0.
    for (const LV2_Options_Option* option = options; option->key != 0; ++option) {
        if (option->context != LV2_OPTIONS_INSTANCE) {
            continue;
        }
        if (option->key == scaleFactor) {
            read.scaleFactor = positiveNumberOf(*option, types);
        } else if (option->key == sampleRate) {
            read.sampleRate = positiveNumberOf(*option, types);
        }
    }
    return read;
}
