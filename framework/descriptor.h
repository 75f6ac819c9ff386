// The binary interface between a host and an effect: the descriptor record that
// the host reads, the functions it calls through it, and the host callback.
//
// On 32-bit x86 the record is 144 bytes with 4-byte fields; on 64-bit targets
// every pointer (and the two reserved words) is 8 bytes and the record is 192.
// The layout is pinned by static_asserts below, so a misplaced field cannot build.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define EFFECT_CALL __cdecl
#else
#define EFFECT_CALL
#endif

// Four-character constants carry the first character in the most significant byte.
constexpr std::int32_t fourCharCode(const char (&text)[5]) noexcept
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
                                     (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
                                     static_cast<std::uint32_t>(static_cast<unsigned char>(text[3])));
}

constexpr std::int32_t kEffectMagic = fourCharCode("VstP");     // marks a valid record
constexpr std::int32_t kIdentifyAnswer = fourCharCode("NvEf");  // answer to effIdentify
constexpr std::int32_t kBaseUniqueID = fourCharCode("OrQx");    // until a derived effect sets its own

struct AEffect;

// The host's callback. The effect argument is null only in the entry point's version query.
using audioMasterCallback = std::intptr_t(EFFECT_CALL*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                                        std::intptr_t value, void* ptr, float opt);

using AEffectDispatcherProc = std::intptr_t(EFFECT_CALL*)(AEffect* effect, std::int32_t opcode, std::int32_t index,
                                                          std::intptr_t value, void* ptr, float opt);
// inputs and outputs are arrays of channel pointers, each addressing sampleFrames floats.
using AEffectProcessProc = void(EFFECT_CALL*)(AEffect* effect, float** inputs, float** outputs,
                                              std::int32_t sampleFrames);
using AEffectSetParameterProc = void(EFFECT_CALL*)(AEffect* effect, std::int32_t index, float value);
using AEffectGetParameterProc = float(EFFECT_CALL*)(AEffect* effect, std::int32_t index);

// The record lives inside the effect object; it is gone after effClose.
struct AEffect {
    std::int32_t magic;                       // kEffectMagic
    AEffectDispatcherProc dispatcher;         // opcode requests, below
    AEffectProcessProc process;               // adds the effect's output into the output buffers
    AEffectSetParameterProc setParameter;     // normalised value 0..1
    AEffectGetParameterProc getParameter;     // normalised value 0..1
    std::int32_t numPrograms;
    std::int32_t numParams;
    std::int32_t numInputs;
    std::int32_t numOutputs;
    std::int32_t flags;                       // effFlags* bits
    std::intptr_t resvd1;                     // reserved, zero
    std::intptr_t resvd2;                     // reserved, zero
    std::int32_t initialDelay;                // processing latency in samples
    std::int32_t realQualities;
    std::int32_t offQualities;
    float ioRatio;                            // output rate over input rate, 1.0 when equal
    void* object;                             // the effect object that owns this record
    void* user;                               // free for the host; the effect never touches it
    std::int32_t uniqueID;                    // four-character identifier of the effect
    std::int32_t version;                     // the effect's own version number
    AEffectProcessProc processReplacing;      // overwrites the output buffers
    std::uint8_t future[sizeof(void*) == 4 ? 60 : 64];  // reserved, zero
};

// Dispatcher opcodes; every other opcode does nothing and answers 0.
enum : std::int32_t {
    effOpen = 0,             // the host has made the effect
    effClose = 1,            // answers 1; the effect and its record are destroyed
    effSetProgram = 2,       // value: program number
    effGetProgram = 3,       // answers the current program number
    effSetProgramName = 4,   // ptr: new name of the current program, at most 31 characters kept
    effGetProgramName = 5,   // ptr: buffer of at least 32 bytes
    effGetParamLabel = 6,    // index: parameter; ptr: buffer of at least 9 bytes
    effGetParamDisplay = 7,  // index: parameter; ptr: buffer of at least 9 bytes
    effGetParamName = 8,     // index: parameter; ptr: buffer of at least 9 bytes
    effGetVu = 9,            // answers the level times 32767
    effSetSampleRate = 10,   // opt: sample rate in hertz
    effSetBlockSize = 11,    // value: largest block the host will send
    effMainsChanged = 12,    // value: 0 switches off (suspend), anything else on (resume)
    effEditGetRect = 13,     // ptr: where to write the address of the editor's ERect; answers 1 when written
    effEditOpen = 14,        // ptr: the parent window (an X11 window id on Linux, an HWND on Windows); answers 1 when open
    effEditClose = 15,
    effEditIdle = 19,        // the host's regular call on its user-interface thread while the editor is open
    effIdentify = 22,        // answers kIdentifyAnswer

    // Questions a host asks when it scans the module. Each answers 0 when the effect gives no
    // answer; a text request with a null ptr does nothing and answers 0.
    effGetProgramNameIndexed = 29,  // index: program; ptr: buffer of kProgramMenuNameBytes; answers 1
                                    // when a name was written. Hosts fill their program menus with it.
    effGetPlugCategory = 35,   // answers the effect's kind, kCategory*
    effSetBypass = 44,         // value: non-zero bypasses, 0 processes; answers 1 when the effect
                               // bypasses itself (its latency kept), 0 when the host must
    effGetEffectName = 45,     // ptr: buffer of kEffectNameBytes; answers 1 when a name was written
    effGetVendorString = 47,   // ptr: buffer of kVendorStringBytes; answers 1 when a text was written
    effGetProductString = 48,  // ptr: buffer of kProductStringBytes; answers 1 when a text was written
    effGetVendorVersion = 49,  // answers the maker's version number of the effect
    effCanDo = 51,             // ptr: a capability's name; answers 1 yes, -1 no, 0 unknown
};

// Sizes of the host's buffers for the texts above, terminating zero included.
// Hosts' program menus give the smallest buffers, so a name meant for them fits this one.
constexpr std::size_t kProgramMenuNameBytes = 24;
constexpr std::size_t kEffectNameBytes = 32;
constexpr std::size_t kVendorStringBytes = 64;
constexpr std::size_t kProductStringBytes = 64;

// Answers to effGetPlugCategory.
enum : std::int32_t {
    kCategoryUnknown = 0,  // the effect does not say
    kCategoryEffect = 1,   // an audio effect that processes its inputs
};

// Host opcodes that an effect sends through audioMasterCallback.
enum : std::int32_t {
    audioMasterAutomate = 0,      // index: parameter; opt: its new normalised value
    audioMasterVersion = 1,       // answers the host's interface version, 0 for none
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,  // index: channel; value: 0 input, 1 output; answers 0 when connected
    audioMasterBeginEdit = 43,    // index: parameter; the user takes hold of it (a gesture begins)
    audioMasterEndEdit = 44,      // index: parameter; the user lets go of it
};

// The editor's place in its parent window, in pixels; the effect owns it.
struct ERect {
    std::int16_t top;
    std::int16_t left;
    std::int16_t bottom;
    std::int16_t right;
};

// Bits of AEffect::flags.
enum : std::int32_t {
    effFlagsHasEditor = 1,      // the effect answers the effEdit* opcodes with a window of its own
    effFlagsHasClip = 2,
    effFlagsHasVu = 4,
    effFlagsCanMono = 8,        // a mono signal may arrive on both inputs
    effFlagsCanReplacing = 16,  // the host may call processReplacing
};

#define EFFECT_PIN_OFFSET(field, off32, off64) \
    static_assert(offsetof(AEffect, field) == (sizeof(void*) == 4 ? (off32) : (off64)), "AEffect::" #field)
EFFECT_PIN_OFFSET(magic, 0, 0);
EFFECT_PIN_OFFSET(dispatcher, 4, 8);
EFFECT_PIN_OFFSET(process, 8, 16);
EFFECT_PIN_OFFSET(setParameter, 12, 24);
EFFECT_PIN_OFFSET(getParameter, 16, 32);
EFFECT_PIN_OFFSET(numPrograms, 20, 40);
EFFECT_PIN_OFFSET(numParams, 24, 44);
EFFECT_PIN_OFFSET(numInputs, 28, 48);
EFFECT_PIN_OFFSET(numOutputs, 32, 52);
EFFECT_PIN_OFFSET(flags, 36, 56);
EFFECT_PIN_OFFSET(resvd1, 40, 64);
EFFECT_PIN_OFFSET(resvd2, 44, 72);
EFFECT_PIN_OFFSET(initialDelay, 48, 80);
EFFECT_PIN_OFFSET(realQualities, 52, 84);
EFFECT_PIN_OFFSET(offQualities, 56, 88);
EFFECT_PIN_OFFSET(ioRatio, 60, 92);
EFFECT_PIN_OFFSET(object, 64, 96);
EFFECT_PIN_OFFSET(user, 68, 104);
EFFECT_PIN_OFFSET(uniqueID, 72, 112);
EFFECT_PIN_OFFSET(version, 76, 116);
EFFECT_PIN_OFFSET(processReplacing, 80, 120);
EFFECT_PIN_OFFSET(future, 84, 128);
#undef EFFECT_PIN_OFFSET
static_assert(sizeof(AEffect) == (sizeof(void*) == 4 ? 144 : 192), "AEffect size");
static_assert(sizeof(float) == 4 && sizeof(std::int32_t) == 4, "32-bit floats and integers");
