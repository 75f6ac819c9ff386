// Inside the audio path counter: how its interposed functions record a call.
#pragma once

#include "audio_path_counter.h"

namespace plughost {

// Counts one call of the kind `kind` named `name` when a watch is armed on this thread.
void noteBlockingCall(std::uint64_t AudioPathCounts::*kind, const char* name) noexcept;

} // namespace plughost
