#include "audio_path_counter.h"

#if defined(__SANITIZE_ADDRESS__)
#define PLUGHOST_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PLUGHOST_ADDRESS_SANITIZER 1
#endif
#endif

#ifdef __linux__

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <cstddef>
#include <cstdlib>
#include <new>

// glibc's own allocator entry points, which the interposed functions forward to.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace plughost {

namespace {

// Plain thread-locals of the executable live in static TLS, so reading them
// from inside malloc needs no allocation.
thread_local bool armed = false;
thread_local AudioPathCounts counts;

inline void noteAllocation() noexcept
{
    if (armed)
        ++counts.allocations;
}

inline void noteLock() noexcept
{
    if (armed)
        ++counts.locks;
}

// The next definition of a locking function after ours, looked up once.
template <typename Function> Function nextDefinition(Function& cache, const char* name) noexcept
{
    if (!cache)
        cache = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
    return cache;
}

using MutexFunction = int (*)(pthread_mutex_t*);
using RwlockFunction = int (*)(pthread_rwlock_t*);
using SemaphoreFunction = int (*)(sem_t*);
MutexFunction realMutexLock = nullptr;
MutexFunction realMutexTrylock = nullptr;
RwlockFunction realRdlock = nullptr;
RwlockFunction realWrlock = nullptr;
SemaphoreFunction realSemWait = nullptr;

} // namespace

bool audioPathCountingAvailable() noexcept
{
    return true;
}
AudioPathCounts audioPathCounts() noexcept
{
    return counts;
}
AudioPathWatch::AudioPathWatch() noexcept
{
    armed = true;
}
AudioPathWatch::~AudioPathWatch()
{
    armed = false;
}

} // namespace plughost

using plughost::noteAllocation;
using plughost::noteLock;

#ifdef PLUGHOST_ADDRESS_SANITIZER

// Under AddressSanitizer the heap is the sanitizer's: replacing malloc would split the
// allocations between two heaps, so the sanitizer's own hooks count them instead.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                         void (*onFree)(const volatile void*));

namespace {

void countMalloc(const volatile void*, std::size_t)
{
    noteAllocation();
}

void countFree(const volatile void*)
{
    noteAllocation();
}

const int hooksInstalled = __sanitizer_install_malloc_and_free_hooks(countMalloc, countFree);

} // namespace

#endif

extern "C" {

#ifndef PLUGHOST_ADDRESS_SANITIZER

void* malloc(std::size_t size)
{
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    noteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size)
{
    noteAllocation();
    return __libc_realloc(pointer, size);
}

void free(void* pointer)
{
    if (pointer)
        noteAllocation();
    __libc_free(pointer);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    noteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size)
{
    noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0)
        return 22; // EINVAL
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer)
        return 12; // ENOMEM
    *result = pointer;
    return 0;
}

#endif

int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    noteLock();
    return plughost::nextDefinition(plughost::realMutexLock, "pthread_mutex_lock")(mutex);
}

int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
    noteLock();
    return plughost::nextDefinition(plughost::realMutexTrylock, "pthread_mutex_trylock")(mutex);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock)
{
    noteLock();
    return plughost::nextDefinition(plughost::realRdlock, "pthread_rwlock_rdlock")(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock)
{
    noteLock();
    return plughost::nextDefinition(plughost::realWrlock, "pthread_rwlock_wrlock")(lock);
}

int sem_wait(sem_t* semaphore)
{
    noteLock();
    return plughost::nextDefinition(plughost::realSemWait, "sem_wait")(semaphore);
}

} // extern "C"

#ifndef PLUGHOST_ADDRESS_SANITIZER

// operator new and delete are replaced too, so a module linked against its own
// copy of the C++ runtime is still seen when it allocates.
void* operator new(std::size_t size)
{
    noteAllocation();
    if (void* pointer = __libc_malloc(size ? size : 1))
        return pointer;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    noteAllocation();
    if (void* pointer = __libc_malloc(size ? size : 1))
        return pointer;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation();
    return __libc_malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    noteAllocation();
    return __libc_malloc(size ? size : 1);
}

void operator delete(void* pointer) noexcept
{
    free(pointer);
}
void operator delete[](void* pointer) noexcept
{
    free(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept
{
    free(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept
{
    free(pointer);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept
{
    free(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept
{
    free(pointer);
}

#endif

#else

namespace plughost {

bool audioPathCountingAvailable() noexcept
{
    return false;
}
AudioPathCounts audioPathCounts() noexcept
{
    return {};
}
AudioPathWatch::AudioPathWatch() noexcept = default;
AudioPathWatch::~AudioPathWatch() = default;

} // namespace plughost

#endif
