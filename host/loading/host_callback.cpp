#include "host_callback.h"

namespace plughost {

namespace {
std::atomic<std::uint64_t> automateCount{0};
}

std::intptr_t EFFECT_CALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
{
    switch (opcode) {
    case audioMasterVersion:
        return kHostVersion;
    case audioMasterAutomate:
        automateCount.fetch_add(1, std::memory_order_relaxed);
        return 0;
    case audioMasterPinConnected:
        return 0; // 0 means connected
    default:
        return 0;
    }
}

std::uint64_t automationMessages() noexcept
{
    return automateCount.load(std::memory_order_relaxed);
}

} // namespace plughost
