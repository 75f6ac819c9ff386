// Test effects for the framework: one that keeps every default, one that records each
// call it receives, an editor that records too, and a host callback that records what
// it is sent. All records go to one shared log, so the order across them is visible.
#pragma once

#include "effect_base.h"

#include <cstdint>
#include <string>
#include <vector>

struct HostCall {
    AEffect* effect;
    std::int32_t opcode;
    std::int32_t index;
    std::intptr_t value;
    void* ptr;
    float opt;
};

// Shared by the callback, which as a plain function pointer cannot carry state of its own.
struct CallLog {
    std::vector<std::string> events;
    std::vector<HostCall> hostCalls;
    std::intptr_t hostAnswer = 0;

    void reset()
    {
        events.clear();
        hostCalls.clear();
        hostAnswer = 0;
    }
};

inline CallLog callLog;

inline std::intptr_t EFFECT_CALL recordingHost(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                               std::intptr_t value, void* ptr, float opt)
{
    callLog.hostCalls.push_back({effect, opcode, index, value, ptr, opt});
    callLog.events.push_back("host " + std::to_string(opcode));
    return callLog.hostAnswer;
}

// Keeps every default of the base class; only process, which has none, is given.
class PlainEffect : public EffectBase {
public:
    explicit PlainEffect(audioMasterCallback host = nullptr, std::int32_t programs = 1, std::int32_t params = 3)
        : EffectBase(host, programs, params)
    {
    }
    void process(float**, float**, std::int32_t) override {}
    bool hasEditor() const { return editor != nullptr; }
};

class RecordingEditor : public EffectEditor {
public:
    static constexpr std::intptr_t kRectAnswer = 0x5EC7;
    static constexpr std::intptr_t kOpenAnswer = 0x0BE4;

    ~RecordingEditor() override { callLog.events.push_back("~editor"); }
    std::intptr_t getRect(void* ptr) override
    {
        lastPtr = ptr;
        callLog.events.push_back("editor getRect");
        return kRectAnswer;
    }
    std::intptr_t open(void* ptr) override
    {
        lastPtr = ptr;
        callLog.events.push_back("editor open");
        return kOpenAnswer;
    }
    void close() override { callLog.events.push_back("editor close"); }
    void idle() override { callLog.events.push_back("editor idle"); }

    void* lastPtr = nullptr;
};

// Records every operation that the dispatcher and the entry functions can reach. Text
// requests write a text naming the request, so a test can see the buffer arrive.
class RecordingEffect : public EffectBase {
public:
    explicit RecordingEffect(audioMasterCallback host = nullptr, std::int32_t programs = 3)
        : EffectBase(host, programs, 4)
    {
    }
    ~RecordingEffect() override { callLog.events.push_back("~RecordingEffect"); }

    void attachEditor(RecordingEditor* owned) { editor = owned; }

    void setParameter(std::int32_t index, float value) override
    {
        log("setParameter " + std::to_string(index) + " " + std::to_string(value));
    }
    float getParameter(std::int32_t index) override
    {
        log("getParameter " + std::to_string(index));
        return 0.25f * static_cast<float>(index);
    }
    void process(float** inputs, float** outputs, std::int32_t sampleFrames) override
    {
        lastInputs = inputs;
        lastOutputs = outputs;
        log("process " + std::to_string(sampleFrames));
    }
    void processReplacing(float** inputs, float** outputs, std::int32_t sampleFrames) override
    {
        lastInputs = inputs;
        lastOutputs = outputs;
        log("processReplacing " + std::to_string(sampleFrames));
    }
    void open() override { log("open"); }
    void close() override { log("close"); }
    std::int32_t getProgram() override
    {
        log("getProgram");
        return 2;
    }
    void setProgram(std::int32_t program) override { log("setProgram " + std::to_string(program)); }
    void setProgramName(char* name) override { log(std::string("setProgramName ") + name); }
    void getProgramName(char* name) override { writeText(name, "program"); }
    void getParamLabel(std::int32_t index, char* label) override { writeText(label, "label" + std::to_string(index)); }
    void getParamDisplay(std::int32_t index, char* text) override { writeText(text, "disp" + std::to_string(index)); }
    void getParamName(std::int32_t index, char* text) override { writeText(text, "name" + std::to_string(index)); }
    float getVu() override
    {
        log("getVu");
        return level;
    }
    void setSampleRate(float rate) override { log("setSampleRate " + std::to_string(rate)); }
    void setBlockSize(std::int32_t size) override { log("setBlockSize " + std::to_string(size)); }
    void suspend() override { log("suspend"); }
    void resume() override { log("resume"); }
    std::int32_t getPlugCategory() override
    {
        log("getPlugCategory");
        return category;
    }
    std::int16_t getEffectName(char* name) override { return writeScanText(name, kEffectNameBytes, effectName); }
    std::int16_t getVendorString(char* text) override { return writeScanText(text, kVendorStringBytes, vendor); }
    std::int16_t getProductString(char* text) override { return writeScanText(text, kProductStringBytes, product); }
    std::int32_t getVendorVersion() override
    {
        log("getVendorVersion");
        return vendorVersion;
    }
    std::int16_t getProgramNameIndexed(std::int32_t program, char* name) override
    {
        return writeScanText(name, kProgramMenuNameBytes, "program" + std::to_string(program));
    }

    // The scan answers; a test sets texts longer than the host's buffers to see them cut.
    std::int32_t category = 7;
    std::int32_t vendorVersion = 0x01020304;
    std::string effectName = "effect name";
    std::string vendor = "vendor";
    std::string product = "product";
    std::int16_t textAnswer = 1;

    float level = 0.0f;
    float** lastInputs = nullptr;
    float** lastOutputs = nullptr;

private:
    static void log(std::string event) { callLog.events.push_back(std::move(event)); }
    static void writeText(char* buffer, const std::string& text)
    {
        log("wrote " + text);
        text.copy(buffer, text.size());
        buffer[text.size()] = '\0';
    }
    std::int16_t writeScanText(char* buffer, std::size_t bufferBytes, const std::string& text) const
    {
        log("wrote " + text);
        writeHostText(buffer, bufferBytes, text);
        return textAnswer;
    }
};
