// The shaper driven through its record by a sequence of arbitrary host calls: dispatcher
// requests with any opcode, index, value and opt, and ptr either null or a guard-filled
// buffer, mixed with parameter writes and reads. No call may crash, write past the longest
// text that its request may write, or answer other than the dispatcher table says.

#include "fuzz_input.h"
#include "shaper_effect.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::size_t kBufferSize = 64;
constexpr unsigned char kGuard = 0xA5;
constexpr std::size_t kProgramNameBytes = 32;
constexpr std::size_t kParamTextBytes = 9;

// How many bytes a request may write into ptr: a program name, a parameter's name, label
// or display for one of the three parameters, or one of the scan texts; every other request
// writes nothing.
std::size_t writableBytes(std::int32_t opcode, std::int32_t index)
{
    switch (opcode) {
    case effGetProgramName:
        return kProgramNameBytes;
    case effGetEffectName:
        return kEffectNameBytes;
    case effGetVendorString:
        return kVendorStringBytes;
    case effGetProductString:
        return kProductStringBytes;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
        return index >= 0 && index < kShaperNumParams ? kParamTextBytes : 0;
    default:
        return 0;
    }
}

std::intptr_t expectedAnswer(std::int32_t opcode, bool withBuffer)
{
    switch (opcode) {
    case effClose:
        return 1;
    case effIdentify:
        return kIdentifyAnswer;
    case effGetPlugCategory:
        return kCategoryEffect;
    case effGetVendorVersion:
        return kShaperVendorVersion;
    case effGetEffectName:
    case effGetVendorString:
    case effGetProductString:
        // A written text answers 1; without a buffer nothing is written.
        return withBuffer ? 1 : 0;
    default:
        // Every other request has nothing to report: one program, so effGetProgram answers 0;
        // no level, so effGetVu answers 0; no editor.
        return 0;
    }
}

// Only the first 31 characters of a new program name are kept.
std::string keptName(const char* name)
{
    std::size_t length = 0;
    while (length < kProgramNameBytes - 1 && name[length] != '\0') {
        ++length;
    }
    return std::string(name, length);
}

enum Call : std::uint8_t { kSetParameter, kGetParameter, kDispatchSmallOpcode, kDispatchAnyOpcode, kCalls };

} // namespace

// Each record: a call kind, then its arguments in the order the record's function takes them.
// effClose ends the sequence; an effect still open at the end is closed.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    AEffect* record = (new ShaperEffect(nullptr))->getAEffect();
    std::string programName = kShaperProgramName;
    bool open = true;
    while (open && input.remaining() > 0) {
        const auto kind = input.take<std::uint8_t>();
        switch (kind % kCalls) {
        case kSetParameter: {
            const auto index = input.take<std::int32_t>();
            record->setParameter(record, index, input.take<float>());
            break;
        }
        case kGetParameter:
            record->getParameter(record, input.take<std::int32_t>());
            break;
        default: {
            auto opcode = input.take<std::int32_t>();
            if (kind % kCalls == kDispatchSmallOpcode) {
                opcode = static_cast<std::int32_t>(static_cast<std::uint32_t>(opcode) % 26);
            }
            const auto index = input.take<std::int32_t>();
            const auto value = static_cast<std::intptr_t>(input.take<std::int64_t>());
            const auto opt = input.take<float>();
            const bool withBuffer = (kind & 0x80) != 0;

            // A new program name is the fuzzer's bytes; every other buffer starts as guard bytes.
            const std::unique_ptr<unsigned char[]> buffer(new unsigned char[kBufferSize]);
            std::memset(buffer.get(), kGuard, kBufferSize);
            if (opcode == effSetProgramName) {
                for (std::size_t i = 0; i < kBufferSize; ++i) {
                    buffer[i] = input.take<std::uint8_t>();
                }
            }
            unsigned char before[kBufferSize];
            std::memcpy(before, buffer.get(), kBufferSize);
            void* ptr = withBuffer ? buffer.get() : nullptr;

            const std::intptr_t answer = record->dispatcher(record, opcode, index, value, ptr, opt);
            FUZZ_REQUIRE(answer == expectedAnswer(opcode, withBuffer), "answer differs from the dispatcher table");
            if (opcode == effClose) {
                open = false;
            }
            if (!withBuffer) {
                break;
            }
            const std::size_t writable = writableBytes(opcode, index);
            FUZZ_REQUIRE(std::memcmp(buffer.get() + writable, before + writable, kBufferSize - writable) == 0,
                         "a byte written past the longest text of the request");
            const char* text = reinterpret_cast<const char*>(buffer.get());
            if (writable > 0) {
                FUZZ_REQUIRE(std::memchr(text, '\0', writable) != nullptr, "text without its terminating zero");
            }
            if (opcode == effSetProgramName) {
                programName = keptName(text);
            }
            if (opcode == effGetProgramName) {
                FUZZ_REQUIRE(programName == text, "program name differs from the one set");
            }
            if (opcode == effGetEffectName) {
                FUZZ_REQUIRE(kShaperEffectName == text, "effect name differs from the shaper's");
            }
            break;
        }
        }
    }
    if (open) {
        FUZZ_REQUIRE(record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f) == 1, "effClose answers 1");
    }
    return 0;
}
