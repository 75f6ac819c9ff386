#include "audio_path_counter.h"
#include "audio_path_note.h"

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
#include <ctime>
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

using MutexFunction = int (*)(pthread_mutex_t*);
using MutexTimedFunction = int (*)(pthread_mutex_t*, const timespec*);
using RwlockFunction = int (*)(pthread_rwlock_t*);
using SpinFunction = int (*)(pthread_spinlock_t*);
using SemaphoreFunction = int (*)(sem_t*);
using SemaphoreTimedFunction = int (*)(sem_t*, const timespec*);
using ConditionWaitFunction = int (*)(pthread_cond_t*, pthread_mutex_t*);
using ConditionTimedWaitFunction = int (*)(pthread_cond_t*, pthread_mutex_t*, const timespec*);

template <typename Function> Function nextDefinition(const char* name) noexcept
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// The C library's definitions of the locking functions defined here.
struct LockFunctions {
    MutexFunction mutexLock = nextDefinition<MutexFunction>("pthread_mutex_lock");
    MutexFunction mutexTrylock = nextDefinition<MutexFunction>("pthread_mutex_trylock");
    MutexTimedFunction mutexTimedlock = nextDefinition<MutexTimedFunction>("pthread_mutex_timedlock");
    RwlockFunction rdlock = nextDefinition<RwlockFunction>("pthread_rwlock_rdlock");
    RwlockFunction wrlock = nextDefinition<RwlockFunction>("pthread_rwlock_wrlock");
    RwlockFunction tryrdlock = nextDefinition<RwlockFunction>("pthread_rwlock_tryrdlock");
    RwlockFunction trywrlock = nextDefinition<RwlockFunction>("pthread_rwlock_trywrlock");
    SpinFunction spinLock = nextDefinition<SpinFunction>("pthread_spin_lock");
    SpinFunction spinTrylock = nextDefinition<SpinFunction>("pthread_spin_trylock");
    SemaphoreFunction semWait = nextDefinition<SemaphoreFunction>("sem_wait");
    SemaphoreFunction semTrywait = nextDefinition<SemaphoreFunction>("sem_trywait");
    SemaphoreTimedFunction semTimedwait = nextDefinition<SemaphoreTimedFunction>("sem_timedwait");
    ConditionWaitFunction condWait = nextDefinition<ConditionWaitFunction>("pthread_cond_wait");
    ConditionTimedWaitFunction condTimedwait = nextDefinition<ConditionTimedWaitFunction>("pthread_cond_timedwait");
};

// Whoever locks first, even during static initialisation, finds the table complete.
const LockFunctions& lockFunctions() noexcept
{
    static const LockFunctions functions;
    return functions;
}

// Looked up before main, so the lookup (which may allocate) never lands inside a counted region.
[[maybe_unused]] const LockFunctions& resolvedBeforeMain = lockFunctions();

} // namespace

bool audioPathCountingAvailable() noexcept
{
    return true;
}
AudioPathCounts audioPathCounts() noexcept
{
    return counts;
}
void noteBlockingCall(std::uint64_t AudioPathCounts::*kind, const char* name) noexcept
{
    if (!armed)
        return;
    ++(counts.*kind);
    if (!counts.firstBlockingCall)
        counts.firstBlockingCall = name;
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
    return plughost::lockFunctions().mutexLock(mutex);
}

int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
    noteLock();
    return plughost::lockFunctions().mutexTrylock(mutex);
}

int pthread_mutex_timedlock(pthread_mutex_t* mutex, const timespec* until)
{
    noteLock();
    return plughost::lockFunctions().mutexTimedlock(mutex, until);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock)
{
    noteLock();
    return plughost::lockFunctions().rdlock(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock)
{
    noteLock();
    return plughost::lockFunctions().wrlock(lock);
}

int pthread_rwlock_tryrdlock(pthread_rwlock_t* lock)
{
    noteLock();
    return plughost::lockFunctions().tryrdlock(lock);
}

int pthread_rwlock_trywrlock(pthread_rwlock_t* lock)
{
    noteLock();
    return plughost::lockFunctions().trywrlock(lock);
}

int pthread_spin_lock(pthread_spinlock_t* lock)
{
    noteLock();
    return plughost::lockFunctions().spinLock(lock);
}

int pthread_spin_trylock(pthread_spinlock_t* lock)
{
    noteLock();
    return plughost::lockFunctions().spinTrylock(lock);
}

int sem_wait(sem_t* semaphore)
{
    noteLock();
    return plughost::lockFunctions().semWait(semaphore);
}

int sem_trywait(sem_t* semaphore)
{
    noteLock();
    return plughost::lockFunctions().semTrywait(semaphore);
}

int sem_timedwait(sem_t* semaphore, const timespec* until)
{
    noteLock();
    return plughost::lockFunctions().semTimedwait(semaphore, until);
}

int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex)
{
    noteLock();
    return plughost::lockFunctions().condWait(condition, mutex);
}

int pthread_cond_timedwait(pthread_cond_t* condition, pthread_mutex_t* mutex, const timespec* until)
{
    noteLock();
    return plughost::lockFunctions().condTimedwait(condition, mutex, until);
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
