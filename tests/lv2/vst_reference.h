// The VST 2 module, loaded from its file and driven through its record, as the
// reference that the LV2 plug-in's output must equal bit for bit.
#pragma once

#include "descriptor.h"
#include "module_loader.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class VstReference {
public:
    explicit VstReference(const std::string& path) : module(path)
    {
        using EntryPoint = AEffect*(EFFECT_CALL*)(audioMasterCallback);
        const auto entry = module.find<EntryPoint>("main");
        effect = entry != nullptr ? entry(&host) : nullptr;
        if (effect == nullptr) {
            throw std::runtime_error("cannot load the VST module " + path + ": " + LoadedModule::lastError());
        }
        effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    }
    ~VstReference()
    {
        effect->dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    }
    VstReference(const VstReference&) = delete;
    VstReference& operator=(const VstReference&) = delete;

    // Normalised values as a host sends them; the effect stores boost as value*10 + 1.
    void set(float boost, float knee, float hardness)
    {
        effect->setParameter(effect, 0, boost);
        effect->setParameter(effect, 1, knee);
        effect->setParameter(effect, 2, hardness);
    }

    // processReplacing over the whole of both channels in one block, into new buffers.
    void render(const std::vector<float>& left, const std::vector<float>& right, std::vector<float>& outLeft,
                std::vector<float>& outRight)
    {
        outLeft.assign(left.size(), 0.0f);
        outRight.assign(right.size(), 0.0f);
        float* inputs[2] = {const_cast<float*>(left.data()), const_cast<float*>(right.data())};
        float* outputs[2] = {outLeft.data(), outRight.data()};
        effect->processReplacing(effect, inputs, outputs, static_cast<std::int32_t>(left.size()));
    }

private:
    static std::intptr_t EFFECT_CALL host(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
    {
        return opcode == audioMasterVersion ? 2400 : 0;
    }

    LoadedModule module;
    AEffect* effect;
};
