// The base class of every effect. It owns the descriptor record handed to the
// host, turns the host's calls into virtual calls, and gives every operation a
// default, so a concrete effect overrides only what it needs.
//
// The virtual operations stand in a fixed slot order; a derived effect keeps it.
// Truth values are 16-bit: 0 is false, anything else true, and true answers 1.
#pragma once

#include "descriptor.h"
#include "effect_editor.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

class EffectBase {
public:
    // [main thread] audioMaster may be null; every host query then answers a fixed default.
    EffectBase(audioMasterCallback audioMaster, std::int32_t numPrograms, std::int32_t numParams);
    EffectBase(const EffectBase&) = delete;
    EffectBase& operator=(const EffectBase&) = delete;
    // Destroys the editor, if any. The record dies with the object.
    virtual ~EffectBase();

    // [any thread] may race with processing; an effect must read its parameters whole.
    virtual void setParameter(std::int32_t index, float value);
    virtual float getParameter(std::int32_t index);
    // Sets the parameter, then tells the host (when there is a callback).
    virtual void automateParameter(std::int32_t index, float value);
    // [ui thread] Tell the host that the user takes hold of a parameter and lets go of it, around
    // the automateParameter calls of one gesture (when there is a callback).
    void beginEdit(std::int32_t index);
    void endEdit(std::int32_t index);

    // [audio thread] no allocation, no locks. process adds into the outputs, processReplacing overwrites them.
    virtual void process(float** inputs, float** outputs, std::int32_t sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames);

    // [any thread] routes one host request, on the thread the host sends it from, to the
    // operations below; answers 0 for anything it does not handle.
    virtual std::intptr_t dispatcher(std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                                     float opt);

    // [main thread] the effect's life; the defaults do nothing.
    virtual void open();
    virtual void close();
    // [main thread] the program number, stored unchecked.
    virtual std::int32_t getProgram();
    virtual void setProgram(std::int32_t program);
    // [main thread] name is the host's string; text buffers are host-owned, names and displays take 9 bytes,
    // program names 32. The host's name may be read-only: the default stores nothing and leaves it untouched.
    virtual void setProgramName(char* name);
    virtual void getProgramName(char* name);
    // [any thread] for the host's parameter display; the defaults write an empty text.
    virtual void getParamLabel(std::int32_t index, char* label);
    virtual void getParamDisplay(std::int32_t index, char* text);
    virtual void getParamName(std::int32_t index, char* text);
    // [any thread] the meter's level; the default answers 0.
    virtual float getVu();
    // [main thread] stored unchecked, each as one relaxed 32-bit atomic.
    virtual void setSampleRate(float sampleRate);
    virtual void setBlockSize(std::int32_t blockSize);
    // [main thread] switching processing off and on; the defaults do nothing.
    virtual void suspend();
    virtual void resume();

    // [main thread] descriptor setters: the host sees the new value at its next read of the record.
    virtual void setUniqueID(std::int32_t id);
    virtual void setNumInputs(std::int32_t count);
    virtual void setNumOutputs(std::int32_t count);
    virtual void setHasVu(std::int16_t state);
    virtual void setHasClip(std::int16_t state);
    virtual void setCanMono(std::int16_t state);
    virtual void setCanReplacing(std::int16_t state);
    virtual void setRealQualities(std::int32_t qualities);
    virtual void setOffQualities(std::int32_t qualities);
    virtual void setInitialDelay(std::int32_t delay);

    // [any thread] what the host last set, read whole.
    virtual float getSampleRate();
    virtual std::int32_t getBlockSize();

    // [main thread] host queries through the callback.
    virtual std::int32_t hostVersion();
    virtual std::int32_t hostCurrentId();
    virtual std::int32_t hostIdle();
    virtual std::int16_t isInputConnected(std::int32_t input);
    virtual std::int16_t isOutputConnected(std::int32_t output);

    // [any thread] number-to-text for the host's parameter display: at most 8 characters
    // and a NUL, so text must hold 9 bytes. The first three go through floatToString.
    virtual void dbToString(float gain, char* text);
    virtual void hzToString(float samples, char* text);
    virtual void msToString(float samples, char* text);
    virtual void floatToString(float value, char* text);
    virtual void longToString(std::int32_t value, char* text);

    // [any thread] What a host asks when it scans the module. The defaults give no answer: they
    // answer 0 and write nothing. A text goes into the host's buffer of the size named in
    // descriptor.h, terminating zero included, and a written text answers 1; the dispatcher
    // never passes a null buffer.
    virtual std::int32_t getPlugCategory();
    virtual std::int16_t getEffectName(char* name);
    virtual std::int16_t getVendorString(char* text);
    virtual std::int16_t getProductString(char* text);
    virtual std::int32_t getVendorVersion();

    // [main thread] The name of any program, for a host's program menu, without switching to it:
    // at most kProgramMenuNameBytes into name, and 1 when a name was written. The default gives
    // none and answers 0; the dispatcher never passes a null buffer.
    virtual std::int16_t getProgramNameIndexed(std::int32_t program, char* name);

    // [audio or main thread] The host's bypass: an effect that answers 1 keeps being called and
    // bypasses itself, its latency unchanged. The default does nothing and answers 0.
    virtual std::int32_t setBypass(bool bypassed);
    // [any thread] Whether the effect can do what capability names ("bypass"): 1 yes, -1 no,
    // 0 unknown. The default answers 0; the dispatcher never passes a null text.
    virtual std::int32_t canDo(const char* capability);

    // The record to hand to the host; valid until effClose.
    AEffect* getAEffect() { return &descriptor; }

protected:
    // Writes text into a host buffer of bufferBytes, cut to fit with its terminating zero,
    // and answers 1; a buffer of no bytes gets nothing and the answer 0.
    static std::int16_t writeHostText(char* buffer, std::size_t bufferBytes, std::string_view text);
    // [main thread] Hands the effect an editor, which it owns from here on, and tells the host
    // through the record's flags that there is one.
    void setEditor(EffectEditor* newEditor);

    // Relaxed atomics: the any-thread text conversions read the rate while the host may set it.
    std::atomic<float> sampleRate;
    EffectEditor* editor;
    audioMasterCallback audioMaster;
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t currentProgram;
    std::atomic<std::int32_t> blockSize;
    AEffect descriptor;

private:
    void setFlag(std::int32_t bit, std::int16_t state);
};

// The five functions whose addresses the constructor puts in the record. Each finds the
// effect through the record's object field and makes one virtual call on it; effClose
// through dispatcherEntry also destroys the effect and answers 1.
std::intptr_t EFFECT_CALL dispatcherEntry(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value,
                                          void* ptr, float opt);
void EFFECT_CALL processEntry(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames);
void EFFECT_CALL processReplacingEntry(AEffect* effect, float** inputs, float** outputs, std::int32_t sampleFrames);
void EFFECT_CALL setParameterEntry(AEffect* effect, std::int32_t index, float value);
float EFFECT_CALL getParameterEntry(AEffect* effect, std::int32_t index);

// Text shown for a number that does not fit the 8-character display.
inline constexpr char kOverRangeText[] = " Huge!  ";
// Minus infinity decibels: the infinity sign is the single byte 0xB0.
inline constexpr char kMinusInfinityDbText[] = "   -\xB0   ";
