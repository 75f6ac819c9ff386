#include "effect_base.h"

#include <cmath>
#include <iterator>
#include <limits>

namespace {

EffectBase* owner(AEffect* effect)
{
    return static_cast<EffectBase*>(effect->object);
}

// level * 32767 truncated toward zero. Out-of-range products saturate and NaN answers 0,
// because converting such a double to an integer would be undefined.
std::intptr_t scaleLevel(float level)
{
    const double scaled = static_cast<double>(level) * 32767.0;
    if (std::isnan(scaled)) {
        return 0;
    }
    if (scaled >= 2147483648.0) {
        return std::numeric_limits<std::int32_t>::max();
    }
    if (scaled <= -2147483649.0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(scaled);
}

// The scan questions, the program menu's, the bypass and the capability question stand apart
// from the table: a few opcodes spread over 29..51, each a request whose default answer is 0.
// A written text answers 1, whatever truth value the effect gives. Everything else outside the table answers 0 and
// touches nothing.
std::intptr_t answerScanQuestion(EffectBase& e, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr)
{
    switch (opcode) {
    case effGetProgramNameIndexed:
        return ptr && e.getProgramNameIndexed(index, static_cast<char*>(ptr)) != 0 ? 1 : 0;
    case effGetPlugCategory:
        return e.getPlugCategory();
    case effGetEffectName:
        return ptr && e.getEffectName(static_cast<char*>(ptr)) != 0 ? 1 : 0;
    case effGetVendorString:
        return ptr && e.getVendorString(static_cast<char*>(ptr)) != 0 ? 1 : 0;
    case effGetProductString:
        return ptr && e.getProductString(static_cast<char*>(ptr)) != 0 ? 1 : 0;
    case effGetVendorVersion:
        return e.getVendorVersion();
    case effSetBypass:
        return e.setBypass(value != 0);
    case effCanDo:
        return ptr ? e.canDo(static_cast<const char*>(ptr)) : 0;
    default:
        return 0;
    }
}

} // namespace

std::intptr_t EFFECT_CALL dispatcherEntry(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                          void* ptr, float opt)
{
    EffectBase* object = owner(effect);
    if (opcode == effClose) {
        object->dispatcher(opcode, index, value, ptr, opt);
        delete object;
        return 1;
    }
    return object->dispatcher(opcode, index, value, ptr, opt);
}

void EFFECT_CALL processEntry(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames)
{
    owner(effect)->process(inputs, outputs, sampleFrames);
}

void EFFECT_CALL processReplacingEntry(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames)
{
    owner(effect)->processReplacing(inputs, outputs, sampleFrames);
}

void EFFECT_CALL setParameterEntry(AEffect* effect, std::int32_t index, float value)
{
    owner(effect)->setParameter(index, value);
}

float EFFECT_CALL getParameterEntry(AEffect* effect, std::int32_t index)
{
    return owner(effect)->getParameter(index);
}

std::intptr_t EffectBase::dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr, float opt)
{
    using Handler = std::intptr_t (*)(EffectBase&, std::int32_t index, std::intptr_t value, void* ptr, float opt);
    static constexpr Handler nothing = [](EffectBase&, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t {
        return 0;
    };

    // A text request with a null ptr does nothing: a careless host must not crash the module.
    static constexpr Handler table[] = {
        // effOpen
        [](EffectBase& e, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t {
            e.open();
            return 0;
        },
        // effClose
        [](EffectBase& e, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t {
            e.close();
            return 0;
        },
        // effSetProgram: negative numbers and numbers past the last program are ignored, compared
        // at full width so that a 64-bit value is never cut down to a valid-looking one.
        [](EffectBase& e, std::int32_t, std::intptr_t value, void*, float) -> std::intptr_t {
            if (value >= 0 && value < static_cast<std::intptr_t>(e.numPrograms)) {
                e.setProgram(static_cast<std::int32_t>(value));
            }
            return 0;
        },
        // effGetProgram
        [](EffectBase& e, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t { return e.getProgram(); },
        // effSetProgramName
        [](EffectBase& e, std::int32_t, std::intptr_t, void* ptr, float) -> std::intptr_t {
            if (ptr) {
                e.setProgramName(static_cast<char*>(ptr));
            }
            return 0;
        },
        // effGetProgramName
        [](EffectBase& e, std::int32_t, std::intptr_t, void* ptr, float) -> std::intptr_t {
            if (ptr) {
                e.getProgramName(static_cast<char*>(ptr));
            }
            return 0;
        },
        // effGetParamLabel
        [](EffectBase& e, std::int32_t index, std::intptr_t, void* ptr, float) -> std::intptr_t {
            if (ptr) {
                e.getParamLabel(index, static_cast<char*>(ptr));
            }
            return 0;
        },
        // effGetParamDisplay
        [](EffectBase& e, std::int32_t index, std::intptr_t, void* ptr, float) -> std::intptr_t {
            if (ptr) {
                e.getParamDisplay(index, static_cast<char*>(ptr));
            }
            return 0;
        },
        // effGetParamName
        [](EffectBase& e, std::int32_t index, std::intptr_t, void* ptr, float) -> std::intptr_t {
            if (ptr) {
                e.getParamName(index, static_cast<char*>(ptr));
            }
            return 0;
        },
        // effGetVu
        [](EffectBase& e, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t { return scaleLevel(e.getVu()); },
        // effSetSampleRate
        [](EffectBase& e, std::int32_t, std::intptr_t, void*, float opt) -> std::intptr_t {
            e.setSampleRate(opt);
            return 0;
        },
        // effSetBlockSize
        [](EffectBase& e, std::int32_t, std::intptr_t value, void*, float) -> std::intptr_t {
            e.setBlockSize(static_cast<std::int32_t>(value));
            return 0;
        },
        // effMainsChanged
        [](EffectBase& e, std::int32_t, std::intptr_t value, void*, float) -> std::intptr_t {
            if (value == 0) {
                e.suspend();
            } else {
                e.resume();
            }
            return 0;
        },
        // effEditGetRect
        [](EffectBase& e, std::int32_t, std::intptr_t, void* ptr, float) -> std::intptr_t {
            return e.editor ? e.editor->getRect(ptr) : 0;
        },
        // effEditOpen
        [](EffectBase& e, std::int32_t, std::intptr_t, void* ptr, float) -> std::intptr_t {
            return e.editor ? e.editor->open(ptr) : 0;
        },
        // effEditClose
        [](EffectBase& e, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t {
            if (e.editor) {
                e.editor->close();
            }
            return 0;
        },
        nothing,
        nothing,
        nothing,
        // effEditIdle
        [](EffectBase& e, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t {
            if (e.editor) {
                e.editor->idle();
            }
            return 0;
        },
        nothing,
        nothing,
        // effIdentify
        [](EffectBase&, std::int32_t, std::intptr_t, void*, float) -> std::intptr_t { return kIdentifyAnswer; },
    };
    static_assert(std::size(table) == effIdentify + 1);

    // Negative opcodes become large unsigned numbers, so one comparison rejects both ends.
    const auto slot = static_cast<std::uint32_t>(opcode);
    if (slot >= std::size(table)) {
        return answerScanQuestion(*this, opcode, index, value, ptr);
    }
    return table[slot](*this, index, value, ptr, opt);
}
