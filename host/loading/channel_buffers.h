// Per-channel sample buffers with the pointer array that the record's process calls take.
#pragma once

#include <vector>

namespace plughost {

class ChannelBuffers {
public:
    // `spare` extra samples follow each channel's `frames`, for guard checks.
    ChannelBuffers(int channels, int frames, int spare = 0)
        : storage(static_cast<std::size_t>(channels), std::vector<float>(static_cast<std::size_t>(frames + spare))),
          pointerArray(static_cast<std::size_t>(channels))
    {
        for (std::size_t c = 0; c < storage.size(); ++c)
            pointerArray[c] = storage[c].data();
    }

    int channels() const noexcept { return static_cast<int>(storage.size()); }
    float* channel(int c) noexcept { return storage[static_cast<std::size_t>(c)].data(); }
    std::vector<float>& samples(int c) noexcept { return storage[static_cast<std::size_t>(c)]; }

    // The array handed to the effect; entries may be re-pointed, e.g. for in-place processing.
    float** pointers() noexcept { return pointerArray.data(); }
    void point(int c, float* where) noexcept { pointerArray[static_cast<std::size_t>(c)] = where; }

    void fill(float value)
    {
        for (auto& channelSamples : storage)
            std::fill(channelSamples.begin(), channelSamples.end(), value);
    }

private:
    std::vector<std::vector<float>> storage;
    std::vector<float*> pointerArray;
};

} // namespace plughost
