// host/audio_path/: the counter (here) and its interposed functions
// (audio_path_counter.cpp, audio_path_blocking_calls.cpp, audio_path_note.h).
//
// Counting calls made on the audio path that may allocate, lock or block.
//
// On Linux a program linked with this counter (plughost, and the real-time safety
// tests) defines malloc, free, operator new, the pthread locking and waiting
// functions, the stdio output functions, write, the sleep calls and sched_yield
// itself and exports them, so every call a loaded module makes to them passes
// through here first. The count runs only while an AudioPathWatch is alive
// on the calling thread, which the caller keeps around each process call.
#pragma once

#include <cstdint>

namespace plughost {

struct AudioPathCounts {
    std::uint64_t allocations = 0; // malloc, calloc, realloc, free, operator new and delete, aligned forms
    std::uint64_t locks = 0;       // mutex, read-write and spin lock attempts, semaphore and condition waits
    std::uint64_t stdioWrites = 0; // printf, fprintf, fputs, fwrite, fflush and the like: each takes the stream's lock
    std::uint64_t writes = 0;      // write, writev, pwrite: a system call that may block
    std::uint64_t sleeps = 0;      // sleep, usleep, nanosleep, clock_nanosleep
    std::uint64_t yields = 0;      // sched_yield
    // The name of the first stdio, write, sleep or yield call counted on this thread, or null.
    const char* firstBlockingCall = nullptr;
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
