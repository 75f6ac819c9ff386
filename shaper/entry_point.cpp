// The module's entry point. A host loads the module, looks up `main` (today's hosts
// try `VSTPluginMain` first) and calls it with its callback; each call makes a new,
// independent effect, which lives until the host sends effClose.
//
// C++ forbids a function called main with this signature, so the function is
// VSTPluginMain here and the name main is attached to it outside C++: by the
// assembler alias below on ELF targets, by a module-definition file on Windows.

#include "shaper_effect.h"

#include <new>

#if defined(_WIN32)
#define SHAPER_EXPORT
#else
#define SHAPER_EXPORT __attribute__((visibility("default")))
#endif

// [any thread] Answers the new effect's record, or null when the host answers 0 to the
// version query or no memory can be had. A null callback still gets an effect, which
// then treats every host query as unanswered.
extern "C" SHAPER_EXPORT AEffect* EFFECT_CALL VSTPluginMain(audioMasterCallback audioMaster)
{
    if (audioMaster != nullptr && audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    auto* effect = new (std::nothrow) ShaperEffect(audioMaster);
    return effect != nullptr ? effect->getAEffect() : nullptr;
}

#if defined(__ELF__)
asm(".globl main\n"
    ".type main, @function\n"
    ".set main, VSTPluginMain\n");
#endif
