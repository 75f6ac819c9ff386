// Counting allocator and lock calls made on the audio path.
//
// On Linux a program linked with this counter (plughost, and the real-time safety
// tests) defines malloc, free, operator new and the pthread locking and waiting
// functions itself and exports them, so every call a loaded module makes to them
// passes through here first. The count runs only while an AudioPathWatch is alive
// on the calling thread, which the caller keeps around each process call.
#pragma once

#include <cstdint>

namespace plughost {

struct AudioPathCounts {
    std::uint64_t allocations = 0; // malloc, calloc, realloc, free, operator new and delete, aligned forms
    std::uint64_t locks = 0;       // mutex, read-write and spin lock attempts, semaphore and condition waits
};

// False where the functions cannot be interposed (the Windows build).
bool audioPathCountingAvailable() noexcept;

// What has been counted on this thread so far.
AudioPathCounts audioPathCounts() noexcept;

// Arms the count on this thread for its lifetime. Not nestable.
class AudioPathWatch {
public:
    AudioPathWatch() noexcept;
    ~AudioPathWatch();
    AudioPathWatch(const AudioPathWatch&) = delete;
    AudioPathWatch& operator=(const AudioPathWatch&) = delete;
};

} // namespace plughost
