// One channel of samples on a 64-byte boundary, for programs that time a module or a kernel.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// One channel's samples starting on a 64-byte boundary, as hosts commonly allocate them,
// so that no figure depends on where an allocator happened to put a buffer (the Windows
// runtime's malloc aligns to 8 bytes only).
class ChannelBuffer {
public:
    explicit ChannelBuffer(const std::vector<float>& samples) : storage(samples.size() + 16)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(storage.data());
        offset = (64 - address % 64) % 64 / sizeof(float);
        std::copy(samples.begin(), samples.end(), storage.begin() + static_cast<std::ptrdiff_t>(offset));
    }
    ChannelBuffer(const ChannelBuffer&) = delete;
    ChannelBuffer& operator=(const ChannelBuffer&) = delete;
    ChannelBuffer(ChannelBuffer&&) = default;
    ChannelBuffer& operator=(ChannelBuffer&&) = default;

    float* data() { return storage.data() + offset; }

private:
    std::vector<float> storage;
    std::size_t offset = 0;
};
