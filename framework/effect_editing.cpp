// The operations only an effect with an editor uses, apart from effect_base.cpp, so that a
// module without an editor links none of them and is built exactly as before.
#include "effect_base.h"

void EffectBase::beginEdit(std::int32_t index)
{
    if (audioMaster) {
        audioMaster(&descriptor, audioMasterBeginEdit, index, 0, nullptr, 0.0f);
    }
}

void EffectBase::endEdit(std::int32_t index)
{
    if (audioMaster) {
        audioMaster(&descriptor, audioMasterEndEdit, index, 0, nullptr, 0.0f);
    }
}

void EffectBase::setEditor(EffectEditor* newEditor)
{
    delete editor;
    editor = newEditor;
    if (newEditor != nullptr) {
        descriptor.flags |= effFlagsHasEditor;
    } else {
        descriptor.flags &= ~effFlagsHasEditor;
    }
}
