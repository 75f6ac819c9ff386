#include "hq_quality.h"

const char* hqQualityName(HqQuality quality) noexcept
{
    switch (quality) {
    case HqQuality::x1:
        return "1x";
    case HqQuality::x2:
        return "2x";
    case HqQuality::x4:
        return "4x";
    case HqQuality::x8:
        return "8x";
    case HqQuality::x16:
        return "16x";
    }
    return "";
}

std::int32_t hqOversampling(HqQuality quality) noexcept
{
    const auto index = static_cast<std::int32_t>(quality);
    return index >= 0 && index < kHqQualityCount ? 1 << index : 1;
}
