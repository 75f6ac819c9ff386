// host/loading/: a module file and the effects it makes (here), the host callback,
// parameter settings given as NAME=VALUE and the channel buffers a process call takes.
//
// Loading a VST 2 effect module from a file and driving one effect made by it.
// Everything here goes through the exported entry point and the AEffect record,
// exactly as a sequencer would; nothing is known about the module's insides.
#pragma once

#include "descriptor.h"
#include "module_loader.h"
#include "user_error.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plughost {

class Effect;

// A loaded module file. Its entry point may be called any number of times;
// each call makes a new, independent effect.
class Module {
public:
    // Throws UserError when the file is missing, is no module, is built for
    // another bitness or platform, cannot be loaded or exports no `main`.
    explicit Module(std::string path);
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const std::string& path() const noexcept { return filePath; }

    // Calls the entry point and opens the effect it answers. Before the first
    // call into the record it is checked: throws UserError when the entry point
    // answers null, a record with the wrong magic, a null dispatcher or
    // parameter function, or counts past kMaxParameters or kMaxChannels.
    Effect makeEffect() const;

    // Throws UserError unless the effect has the process function a run needs:
    // processReplacing or process, and process itself when `accumulate`.
    void requireProcessing(const Effect& effect, bool accumulate) const;

    static constexpr int kMaxParameters = 4096;
    static constexpr int kMaxChannels = 64;

private:
    using EntryFunction = AEffect*(EFFECT_CALL*)(audioMasterCallback);
    std::string filePath;
    LoadedModule library;
    EntryFunction entry = nullptr;
};

// One effect made by a module. Owns it until close(), which the destructor
// calls if nobody did; after effClose the record is gone and is never touched.
class Effect {
public:
    explicit Effect(AEffect* record) noexcept : effect(record) {}
    ~Effect() { close(); }
    Effect(Effect&& other) noexcept : effect(other.effect) { other.effect = nullptr; }
    Effect& operator=(Effect&&) = delete;
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    AEffect& record() const noexcept { return *effect; }
    bool isOpen() const noexcept { return effect != nullptr; }
    void close() noexcept;

    std::intptr_t dispatch(std::int32_t opcode, std::int32_t index = 0, std::intptr_t value = 0, void* ptr = nullptr,
                           float opt = 0.0f) const;

    int numParams() const noexcept { return effect->numParams; }
    int numInputs() const noexcept { return effect->numInputs; }
    int numOutputs() const noexcept { return effect->numOutputs; }
    // True when the module announces processReplacing and actually provides it.
    bool canReplace() const noexcept
    {
        return (effect->flags & effFlagsCanReplacing) != 0 && effect->processReplacing != nullptr;
    }

    // Texts are read into a roomy zeroed buffer, so a module that writes more
    // than the interface allows still gives a terminated string here.
    std::string parameterName(int index) const;
    std::string parameterLabel(int index) const;
    std::string parameterDisplay(int index) const;
    std::string programName() const;
    // Program `index`'s name as a host's program menu asks for it; empty when the module gives none.
    std::string programNameAt(int index) const;
    void setProgram(int index) const;

    // What a scanning host asks: texts come back empty and numbers 0 where the module gives no answer.
    std::string effectName() const;
    std::string vendorString() const;
    std::string productString() const;
    std::int32_t category() const;
    std::int32_t vendorVersion() const;

    float parameter(int index) const { return effect->getParameter(effect, index); }
    void setParameter(int index, float value) const { effect->setParameter(effect, index, value); }

    // Finds a parameter by its name, ignoring case and surrounding blanks; -1 when none matches.
    int findParameter(const std::string& name) const;

    void setSampleRate(double rate) const;
    void setBlockSize(int frames) const;
    void switchOn() const;
    void switchOff() const;

    void processReplacing(float** inputs, float** outputs, int frames) const
    {
        effect->processReplacing(effect, inputs, outputs, frames);
    }
    void processAccumulating(float** inputs, float** outputs, int frames) const
    {
        effect->process(effect, inputs, outputs, frames);
    }

private:
    std::string readText(std::int32_t opcode, int index) const;
    AEffect* effect;
};

// The unique ID as its four characters, with unprintable bytes shown as '?'.
std::string fourCharText(std::int32_t code);
std::string hexText(std::int32_t code);

// Names of the set flag bits, in bit order; unknown bits appear as numbers.
std::vector<std::string> flagNames(std::int32_t flags);

// A category answer as a word ("effect"), or empty when plughost has no word for it.
std::string categoryName(std::int32_t category);

} // namespace plughost
