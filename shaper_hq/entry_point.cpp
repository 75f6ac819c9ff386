// The HQ module's entry point, as the first effect's: a host loads the module, looks up
// `main` (today's hosts try `VSTPluginMain` first) and calls it with its callback; each
// call makes a new, independent effect, which lives until the host sends effClose. The
// name main is attached to VSTPluginMain outside C++: by the assembler alias below on ELF
// targets, by the module-definition files on Windows.

#include "hq_shaper_effect.h"

#include <new>

#if defined(_WIN32)
#define HQ_EXPORT
#else
#define HQ_EXPORT __attribute__((visibility("default")))
#endif

// [any thread] Answers the new effect's record, or null when the host answers 0 to the
// version query or no memory can be had, for the effect or for the core's buffers.
extern "C" HQ_EXPORT AEffect* EFFECT_CALL VSTPluginMain(audioMasterCallback audioMaster)
{
    if (audioMaster != nullptr && audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    try {
        auto* effect = new (std::nothrow) HqShaperEffect(audioMaster);
        return effect != nullptr ? effect->getAEffect() : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

#if defined(__ELF__)
asm(".globl main\n"
    ".type main, @function\n"
    ".set main, VSTPluginMain\n");
#endif
