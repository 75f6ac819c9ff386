// 32-bit Windows hosts built with other compilers call a module with the stack aligned
// to 4 bytes only. A trampoline here calls every entry function of the module with the
// stack 0, 4, 8 and 12 bytes past a 16-byte boundary, and everything the module answers
// or writes must equal the aligned call's, bit for bit. A function that assumes an
// aligned frame faults on a vector access instead, which ends the program.
//
// The shipped module runs the widest kernel the processor has; test builds of it pin
// the SSE2 and the scalar kernel (and AVX2 and AVX-512), and report the kernel they run through an
// extra export that the shipped module does not have. The HQ module is called the same way.

#include "descriptor.h"
#include "module_loader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

// misalignedCall(function, arguments, count, offset) pushes count 32-bit arguments so
// that the stack pointer at the call stands offset bytes past a 16-byte boundary, calls
// function, and answers what it answers in eax (misalignedCallFloat: in st(0), which the
// trampoline leaves untouched). stackAtCall answers the stack pointer it was called with.
extern "C" std::uint32_t misalignedCall(const void* function, const std::uint32_t* arguments, std::int32_t count,
                                        std::int32_t offset);
extern "C" float misalignedCallFloat(const void* function, const std::uint32_t* arguments, std::int32_t count,
                                     std::int32_t offset);
extern "C" std::uint32_t stackAtCall();

asm(R"(
    .section .text
    .globl _misalignedCall
    .globl _misalignedCallFloat
    .globl _stackAtCall
_misalignedCall:
_misalignedCallFloat:
    pushl %ebp
    movl %esp, %ebp
    pushl %esi
    pushl %edi
    movl 12(%ebp), %esi
    movl 16(%ebp), %ecx
    leal 0(,%ecx,4), %eax
    movl %esp, %edi
    subl %eax, %edi
    subl $16, %edi
    andl $-16, %edi
    addl 20(%ebp), %edi
    movl %edi, %esp
    cld
    rep movsl
    call *8(%ebp)
    leal -8(%ebp), %esp
    popl %edi
    popl %esi
    popl %ebp
    ret
_stackAtCall:
    leal 4(%esp), %eax
    ret
)");

namespace {

static_assert(sizeof(void*) == 4, "the trampoline is for 32-bit x86");

constexpr std::int32_t kOffsets[] = {0, 4, 8, 12};
constexpr std::int32_t kFrames = 509; // not a multiple of any group width, so the scalar tail runs too

std::string describedCall = "nothing yet";

// A fault on a misaligned vector access ends the program with this report and exit code
// 3 at once, not through Wine's debugger, whose exit code is not to be relied on.
LONG WINAPI reportFault(EXCEPTION_POINTERS* fault)
{
    std::fprintf(stderr, "exception 0x%08lx during %s\n", fault->ExceptionRecord->ExceptionCode, describedCall.c_str());
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_CONTINUE_SEARCH;
}

std::uint32_t word(float value)
{
    return std::bit_cast<std::uint32_t>(value);
}

template <typename Pointer> std::uint32_t word(Pointer* pointer)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The module calls back on the stack it has; this host function makes no assumption about it.
__attribute__((force_align_arg_pointer)) std::intptr_t EFFECT_CALL host(AEffect*, std::int32_t opcode, std::int32_t,
                                                                        std::intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Every entry function called through the trampoline at one stack offset.
class Caller {
public:
    Caller(std::int32_t offset, std::string module) : offset(offset), module(std::move(module)) {}

    AEffect* main(const void* entry)
    {
        const std::uint32_t arguments[] = {word(reinterpret_cast<void*>(host))};
        return reinterpret_cast<AEffect*>(call(entry, arguments, "main"));
    }
    std::intptr_t dispatcher(AEffect* effect, std::int32_t opcode, std::int32_t index, std::intptr_t value, void* ptr,
                             float opt)
    {
        const std::uint32_t arguments[] = {word(effect),
                                           static_cast<std::uint32_t>(opcode),
                                           static_cast<std::uint32_t>(index),
                                           static_cast<std::uint32_t>(value),
                                           word(ptr),
                                           word(opt)};
        return static_cast<std::intptr_t>(
            call(reinterpret_cast<const void*>(effect->dispatcher), arguments,
                 "dispatcher opcode " + std::to_string(opcode) + " index " + std::to_string(index)));
    }
    void block(AEffect* effect, bool replacing, float** inputs, float** outputs, std::int32_t frames)
    {
        const std::uint32_t arguments[] = {word(effect), word(inputs), word(outputs),
                                           static_cast<std::uint32_t>(frames)};
        call(replacing ? reinterpret_cast<const void*>(effect->processReplacing)
                       : reinterpret_cast<const void*>(effect->process),
             arguments, replacing ? "processReplacing" : "process");
    }
    void setParameter(AEffect* effect, std::int32_t index, float value)
    {
        const std::uint32_t arguments[] = {word(effect), static_cast<std::uint32_t>(index), word(value)};
        call(reinterpret_cast<const void*>(effect->setParameter), arguments, "setParameter " + std::to_string(index));
    }
    float getParameter(AEffect* effect, std::int32_t index)
    {
        const std::uint32_t arguments[] = {word(effect), static_cast<std::uint32_t>(index)};
        describe("getParameter " + std::to_string(index));
        return misalignedCallFloat(reinterpret_cast<const void*>(effect->getParameter), arguments, 2, offset);
    }

private:
    template <std::size_t n>
    std::uint32_t call(const void* function, const std::uint32_t (&arguments)[n], const std::string& what)
    {
        describe(what);
        return misalignedCall(function, arguments, static_cast<std::int32_t>(n), offset);
    }
    void describe(const std::string& what)
    {
        describedCall =
            what + " in " + module + " with the stack " + std::to_string(offset) + " bytes past a 16-byte boundary";
    }

    std::int32_t offset;
    std::string module;
};

// Sweeps over -3..3 with subnormals, signed zeros, infinities and a NaN among them, so
// every branch of the curve and the subnormal path run.
std::vector<float> signal(int side)
{
    std::vector<float> samples(kFrames);
    for (std::int32_t i = 0; i < kFrames; ++i) {
        samples[i] = -3.0f + 6.0f * static_cast<float>((i * (7 + side)) % kFrames) / static_cast<float>(kFrames);
        if (i % 13 == side) {
            samples[i] = std::bit_cast<float>(0x00000001u + static_cast<std::uint32_t>(i) * 4099u);
        }
    }
    samples[3] = -0.0f;
    samples[100] = std::numeric_limits<float>::infinity();
    samples[201] = -std::numeric_limits<float>::infinity();
    samples[302] = std::numeric_limits<float>::quiet_NaN();
    return samples;
}

void append(std::vector<std::uint32_t>& transcript, const std::vector<float>& samples)
{
    for (const float sample : samples) {
        transcript.push_back(word(sample));
    }
}

void appendText(std::vector<std::uint32_t>& transcript, const char* text, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        transcript.push_back(static_cast<unsigned char>(text[i]));
    }
}

// Everything a host sees of one effect's life, every call made at one stack offset.
std::vector<std::uint32_t> transcriptAt(const void* entry, std::int32_t offset, const std::string& module)
{
    Caller caller(offset, module);
    std::vector<std::uint32_t> transcript;
    AEffect* effect = caller.main(entry);
    if (effect == nullptr) {
        ADD_FAILURE() << module << ": main answered no effect at offset " << offset;
        return transcript;
    }
    transcript.push_back(static_cast<std::uint32_t>(effect->magic));
    transcript.push_back(static_cast<std::uint32_t>(caller.dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f)));
    caller.dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    caller.dispatcher(effect, effSetBlockSize, 0, kFrames, nullptr, 0.0f);
    caller.dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    char name[32] = "Misaligned";
    caller.dispatcher(effect, effSetProgramName, 0, 0, name, 0.0f);
    char buffer[64];
    std::memset(buffer, 0x5a, sizeof buffer);
    caller.dispatcher(effect, effGetProgramName, 0, 0, buffer, 0.0f);
    appendText(transcript, buffer, sizeof buffer);
    std::memset(buffer, 0x5a, sizeof buffer);
    transcript.push_back(
        static_cast<std::uint32_t>(caller.dispatcher(effect, effGetProgramNameIndexed, 0, 0, buffer, 0.0f)));
    appendText(transcript, buffer, sizeof buffer);
    // Answers of requests that carry no text, one the effect does not handle among them.
    const std::int32_t plainRequests[] = {effSetProgram, effGetProgram, effGetVu, effIdentify, 99};
    for (const std::int32_t opcode : plainRequests) {
        transcript.push_back(static_cast<std::uint32_t>(caller.dispatcher(effect, opcode, 0, 0, nullptr, 0.0f)));
    }

    std::vector<float> inLeft = signal(0);
    std::vector<float> inRight = signal(1);
    std::vector<float> outLeft(kFrames);
    std::vector<float> outRight(kFrames);
    float* inputs[2] = {inLeft.data(), inRight.data()};
    float* outputs[2] = {outLeft.data(), outRight.data()};
    const float settings[][3] = {{0.0f, 0.5f, 0.0f}, {1.0f, 0.2f, 0.5f}, {0.37f, 0.9f, 1.0f}, {0.05f, 0.0f, 0.25f}};
    for (const auto& setting : settings) {
        // A module with more parameters (the HQ module's six) takes the setting's values again.
        for (std::int32_t index = 0; index < effect->numParams; ++index) {
            caller.setParameter(effect, index, setting[index % 3]);
            transcript.push_back(word(caller.getParameter(effect, index)));
            for (const std::int32_t opcode : {effGetParamDisplay, effGetParamLabel, effGetParamName}) {
                std::memset(buffer, 0x5a, sizeof buffer);
                caller.dispatcher(effect, opcode, index, 0, buffer, 0.0f);
                appendText(transcript, buffer, sizeof buffer);
            }
        }
        transcript.push_back(word(caller.getParameter(effect, effect->numParams)));
        caller.block(effect, true, inputs, outputs, kFrames);
        append(transcript, outLeft);
        append(transcript, outRight);
        // Accumulating onto what the replacing block wrote.
        caller.block(effect, false, inputs, outputs, kFrames);
        append(transcript, outLeft);
        append(transcript, outRight);
    }
    caller.dispatcher(effect, effMainsChanged, 0, 0, nullptr, 0.0f);
    transcript.push_back(static_cast<std::uint32_t>(caller.dispatcher(effect, effClose, 0, 0, nullptr, 0.0f)));
    return transcript;
}

struct ModuleUnderTest {
    const char* path;
    const char* pinned; // the kernel a test build pins; null for a shipped module
    bool hq;            // the HQ module, whose answers are its own
};

const ModuleUnderTest kModules[] = {
    {SHAPER_MODULE_PATH, nullptr, false},
    {PINNED_MODULE_DIR "/SoftKneeShaper-scalar.dll", "scalar", false},
    {PINNED_MODULE_DIR "/SoftKneeShaper-sse2.dll", "sse2", false},
    {PINNED_MODULE_DIR "/SoftKneeShaper-avx2.dll", "avx2", false},
    {PINNED_MODULE_DIR "/SoftKneeShaper-avx512.dll", "avx512", false},
    {HQ_MODULE_PATH, nullptr, true},
};

// The kernel a test build that pins kernel runs here: a kernel the processor lacks gives
// way to the widest it has.
std::string kernelRunBy(const std::string& kernel)
{
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                        __builtin_cpu_supports("avx512dq");
    const std::string widest = avx512 ? "avx512" : (avx2 ? "avx2" : "sse2");
    if ((kernel == "avx512" && !avx512) || (kernel == "avx2" && !avx2)) {
        return widest;
    }
    return kernel;
}

TEST(MisalignedStack, TheTrampolinePutsTheStackWhereAsked)
{
    const std::uint32_t arguments[] = {1, 2, 3, 4, 5, 6, 7};
    for (const std::int32_t offset : kOffsets) {
        for (std::int32_t count = 0; count <= 7; ++count) {
            EXPECT_EQ(misalignedCall(reinterpret_cast<const void*>(stackAtCall), arguments, count, offset) % 16,
                      static_cast<std::uint32_t>(offset))
                << count << " arguments";
        }
    }
}

TEST(MisalignedStack, EveryEntryFunctionAnswersAsWhenAligned)
{
    SetUnhandledExceptionFilter(reportFault);
    std::printf("this processor runs the %s kernel at most\n", kernelRunBy("avx512").c_str());
    std::vector<std::uint32_t> shippedAligned;
    for (const ModuleUnderTest& module : kModules) {
        LoadedModule loaded(module.path);
        ASSERT_TRUE(loaded.loaded()) << module.path << ": " << LoadedModule::lastError();
        const void* entry = reinterpret_cast<const void*>(loaded.find<void (*)()>("main"));
        ASSERT_NE(entry, nullptr) << module.path;
        if (module.pinned != nullptr) {
            const auto report = loaded.find<const char* (*)()>("softKneeKernelReport");
            ASSERT_NE(report, nullptr) << module.path;
            ASSERT_EQ(report(), kernelRunBy(module.pinned)) << module.path;
        }
        const std::vector<std::uint32_t> aligned = transcriptAt(entry, 0, module.path);
        ASSERT_FALSE(aligned.empty());
        if (shippedAligned.empty()) {
            shippedAligned = aligned;
        }
        // Every kernel gives the shipped module's answers, as the kernel tests demand.
        EXPECT_TRUE(module.hq || aligned == shippedAligned) << module.path;
        for (const std::int32_t offset : kOffsets) {
            if (offset == 0) {
                continue;
            }
            const std::vector<std::uint32_t> misaligned = transcriptAt(entry, offset, module.path);
            ASSERT_EQ(misaligned.size(), aligned.size()) << module.path << " at offset " << offset;
            for (std::size_t i = 0; i < aligned.size(); ++i) {
                ASSERT_EQ(misaligned[i], aligned[i])
                    << module.path << " at offset " << offset << ": word " << i << " of the transcript";
            }
        }
    }
}

} // namespace
