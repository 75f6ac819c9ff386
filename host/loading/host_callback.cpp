#include "host_callback.h"

namespace plughost {

namespace {
std::atomic<std::uint64_t> automateCount{0};
std::atomic<EditListener> editListener{nullptr};

void tellEditListener(std::int32_t opcode, std::int32_t index, float value)
{
    if (const EditListener listener = editListener.load(std::memory_order_relaxed)) {
        listener(opcode, index, value);
    }
}
} // namespace

std::intptr_t EFFECT_CALL hostCallback(AEffect*, std::int32_t opcode, std::int32_t index, std::intptr_t, void*,
                                       float opt)
{
    switch (opcode) {
    case audioMasterVersion:
        return kHostVersion;
    case audioMasterAutomate:
        automateCount.fetch_add(1, std::memory_order_relaxed);
        tellEditListener(opcode, index, opt);
        return 0;
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
        tellEditListener(opcode, index, 0.0f);
        return 1;
    case audioMasterPinConnected:
        return 0; // 0 means connected
    default:
        return 0;
    }
}

void setEditListener(EditListener listener) noexcept
{
    editListener.store(listener, std::memory_order_relaxed);
}

std::uint64_t automationMessages() noexcept
{
    return automateCount.load(std::memory_order_relaxed);
}

} // namespace plughost
