// The callback that every effect made by plughost receives from its entry point.
#pragma once

#include "descriptor.h"

#include <atomic>
#include <cstdint>

namespace plughost {

// The interface version plughost answers to audioMasterVersion.
constexpr std::intptr_t kHostVersion = 2400;

// [any thread] Answers the version query, reports every pin as connected and
// answers 0 to everything else. It keeps nothing but a count of automation
// messages, so an effect may call it from its audio thread.
std::intptr_t EFFECT_CALL hostCallback(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                       void* ptr, float opt);

// How many audioMasterAutomate messages all effects have sent so far.
std::uint64_t automationMessages() noexcept;

// [main thread] Where the editor command hears of a user's edits: each audioMasterBeginEdit,
// audioMasterAutomate and audioMasterEndEdit as it arrives, with its parameter and value
// (0 for begin and end). Null, the default, hears nothing.
using EditListener = void (*)(std::int32_t opcode, std::int32_t index, float value);
void setEditListener(EditListener listener) noexcept;

} // namespace plughost
