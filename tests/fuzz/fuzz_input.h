// What the fuzz targets share: reading typed values from the fuzzer's bytes, and stopping
// the run with a message when a property fails (libFuzzer keeps the input that did it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Hands out the input bytes front to back; once they run out, every value reads as zero.
class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    template <typename T> T take()
    {
        unsigned char bytes[sizeof(T)] = {};
        const std::size_t count = size - used < sizeof(T) ? size - used : sizeof(T);
        if (count > 0) {
            std::memcpy(bytes, data + used, count);
        }
        used += count;
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

    std::size_t remaining() const { return size - used; }

private:
    const std::uint8_t* data;
    std::size_t size;
    std::size_t used = 0;
};

// A failed property ends the process: the fuzzer reports it as a crash and saves the input.
#define FUZZ_REQUIRE(condition, what)                                                                                  \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property failed: %s (%s)\n", __FILE__, __LINE__, what, #condition);           \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
