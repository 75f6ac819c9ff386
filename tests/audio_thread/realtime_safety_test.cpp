// The audio path allocates nothing, frees nothing and takes no lock. This program defines
// the allocator and the locking functions itself, so every such call made by the effect,
// and by the built module once loaded, passes through a counter here first. The counter
// runs only on the thread that armed it, around the block calls.
//
// Built only without sanitizers: they bring allocators and interceptors of their own.

#include "shaper_effect.h"

#include "module_loader.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <semaphore.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <string>
#include <vector>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace {

// Static TLS of the executable: reading it from inside malloc allocates nothing.
thread_local bool armed = false;
thread_local long heapCalls = 0;
thread_local long lockCalls = 0;

void noteHeap() noexcept
{
    if (armed) {
        ++heapCalls;
    }
}

void noteLock() noexcept
{
    if (armed) {
        ++lockCalls;
    }
}

// The C library's definition of a function that this program replaces, looked up before
// main so that no lookup happens inside a counted region.
template <typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using MutexCall = int (*)(pthread_mutex_t*);
using MutexTimedCall = int (*)(pthread_mutex_t*, const timespec*);
using RwlockCall = int (*)(pthread_rwlock_t*);
using SpinCall = int (*)(pthread_spinlock_t*);
using SemCall = int (*)(sem_t*);
using SemTimedCall = int (*)(sem_t*, const timespec*);
using CondWaitCall = int (*)(pthread_cond_t*, pthread_mutex_t*);
using CondTimedWaitCall = int (*)(pthread_cond_t*, pthread_mutex_t*, const timespec*);

struct LockFunctions {
    MutexCall mutexLock = next<MutexCall>("pthread_mutex_lock");
    MutexCall mutexTrylock = next<MutexCall>("pthread_mutex_trylock");
    MutexTimedCall mutexTimedlock = next<MutexTimedCall>("pthread_mutex_timedlock");
    RwlockCall rdlock = next<RwlockCall>("pthread_rwlock_rdlock");
    RwlockCall wrlock = next<RwlockCall>("pthread_rwlock_wrlock");
    RwlockCall tryrdlock = next<RwlockCall>("pthread_rwlock_tryrdlock");
    RwlockCall trywrlock = next<RwlockCall>("pthread_rwlock_trywrlock");
    SpinCall spinLock = next<SpinCall>("pthread_spin_lock");
    SpinCall spinTrylock = next<SpinCall>("pthread_spin_trylock");
    SemCall semWait = next<SemCall>("sem_wait");
    SemCall semTrywait = next<SemCall>("sem_trywait");
    SemTimedCall semTimedwait = next<SemTimedCall>("sem_timedwait");
    CondWaitCall condWait = next<CondWaitCall>("pthread_cond_wait");
    CondTimedWaitCall condTimedwait = next<CondTimedWaitCall>("pthread_cond_timedwait");
};

const LockFunctions& lockFunctions()
{
    static const LockFunctions functions;
    return functions;
}

const bool lockFunctionsResolved = (lockFunctions(), true);

// What the audio path did on this thread while armed.
struct Counts {
    long heap;
    long locks;
};

template <typename Body> Counts countDuring(Body body)
{
    heapCalls = 0;
    lockCalls = 0;
    armed = true;
    body();
    armed = false;
    return {heapCalls, lockCalls};
}

} // namespace

extern "C" {

void* malloc(std::size_t size)
{
    noteHeap();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size)
{
    noteHeap();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size)
{
    noteHeap();
    return __libc_realloc(pointer, size);
}

void free(void* pointer)
{
    if (pointer != nullptr) {
        noteHeap();
    }
    __libc_free(pointer);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    noteHeap();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    noteHeap();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size)
{
    noteHeap();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return 22; // EINVAL
    }
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) {
        return 12; // ENOMEM
    }
    *result = pointer;
    return 0;
}

int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    noteLock();
    return lockFunctions().mutexLock(mutex);
}

int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
    noteLock();
    return lockFunctions().mutexTrylock(mutex);
}

int pthread_mutex_timedlock(pthread_mutex_t* mutex, const timespec* until)
{
    noteLock();
    return lockFunctions().mutexTimedlock(mutex, until);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* lock)
{
    noteLock();
    return lockFunctions().rdlock(lock);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* lock)
{
    noteLock();
    return lockFunctions().wrlock(lock);
}

int pthread_rwlock_tryrdlock(pthread_rwlock_t* lock)
{
    noteLock();
    return lockFunctions().tryrdlock(lock);
}

int pthread_rwlock_trywrlock(pthread_rwlock_t* lock)
{
    noteLock();
    return lockFunctions().trywrlock(lock);
}

int pthread_spin_lock(pthread_spinlock_t* lock)
{
    noteLock();
    return lockFunctions().spinLock(lock);
}

int pthread_spin_trylock(pthread_spinlock_t* lock)
{
    noteLock();
    return lockFunctions().spinTrylock(lock);
}

int sem_wait(sem_t* semaphore)
{
    noteLock();
    return lockFunctions().semWait(semaphore);
}

int sem_trywait(sem_t* semaphore)
{
    noteLock();
    return lockFunctions().semTrywait(semaphore);
}

int sem_timedwait(sem_t* semaphore, const timespec* until)
{
    noteLock();
    return lockFunctions().semTimedwait(semaphore, until);
}

int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex)
{
    noteLock();
    return lockFunctions().condWait(condition, mutex);
}

int pthread_cond_timedwait(pthread_cond_t* condition, pthread_mutex_t* mutex, const timespec* until)
{
    noteLock();
    return lockFunctions().condTimedwait(condition, mutex, until);
}

} // extern "C"

void* operator new(std::size_t size)
{
    if (void* block = malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return malloc(size == 0 ? 1 : size);
}

void operator delete(void* block) noexcept
{
    free(block);
}

void operator delete[](void* block) noexcept
{
    free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    free(block);
}

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Room for the longest block below, with both channels of input and output.
struct Buffers {
    static constexpr std::int32_t kCapacity = 4096;
    std::vector<float> inLeft = std::vector<float>(kCapacity);
    std::vector<float> inRight = std::vector<float>(kCapacity);
    std::vector<float> outLeft = std::vector<float>(kCapacity);
    std::vector<float> outRight = std::vector<float>(kCapacity);

    Buffers()
    {
        for (std::int32_t i = 0; i < kCapacity; ++i) {
            inLeft[i] = static_cast<float>(i % 41) * 0.1f - 2.0f;
            inRight[i] = i % 17 == 0 ? kNaN : (i % 13 == 0 ? -kInf : static_cast<float>(i % 7) * 0.3f);
        }
    }
};

constexpr std::int32_t kFrameCounts[] = {1, 2, 3, 4, 7, 8, 9, 15, 16, 17, 31, 33, 64, 255, 256, 1023, 4096, 0, -5};

struct ParameterSet {
    float boost;
    float knee;
    float hardness;
};

// Nominal settings, the corners, and values that a careless host might send.
constexpr ParameterSet kParameterSets[] = {
    {0.0f, 0.5f, 0.0f}, {1.0f, 1.0f, 1.0f}, {0.3f, 0.0f, 1.0f}, {kNaN, kNaN, kNaN}, {-kInf, 7.0f, -3.0f},
};

// Every block form the host can ask for: replacing and accumulating, separate buffers,
// in place, and one mono buffer on both inputs; for every frame count and setting.
Counts countAudioPath(AEffect* record, Buffers& buffers)
{
    float* separateIn[2] = {buffers.inLeft.data(), buffers.inRight.data()};
    float* separateOut[2] = {buffers.outLeft.data(), buffers.outRight.data()};
    float* monoIn[2] = {buffers.inLeft.data(), buffers.inLeft.data()};
    float* inPlace[2] = {buffers.outLeft.data(), buffers.outRight.data()};
    Counts total{0, 0};
    for (const ParameterSet& set : kParameterSets) {
        record->setParameter(record, kBoostParam, set.boost);
        record->setParameter(record, kKneeParam, set.knee);
        record->setParameter(record, kHardnessParam, set.hardness);
        const Counts counts = countDuring([&] {
            for (const std::int32_t frames : kFrameCounts) {
                record->processReplacing(record, separateIn, separateOut, frames);
                record->process(record, separateIn, separateOut, frames);
                record->processReplacing(record, monoIn, separateOut, frames);
                record->process(record, monoIn, separateOut, frames);
                record->processReplacing(record, inPlace, inPlace, frames);
                record->process(record, inPlace, inPlace, frames);
            }
        });
        total.heap += counts.heap;
        total.locks += counts.locks;
    }
    return total;
}

// The counter itself: an allocation, a free and a lock made while armed are all seen, and
// the same calls made while not armed are not.
TEST(RealtimeSafety, CounterSeesAllocationFreeAndLock)
{
    ASSERT_TRUE(lockFunctionsResolved);
    void* volatile block = nullptr;
    std::mutex mutex;
    const Counts counts = countDuring([&] {
        block = malloc(16);
        free(block);
        auto* text = new std::string(100, 'x'); // the object and its characters: two allocations, two frees
        delete text;
        const std::lock_guard<std::mutex> guard(mutex);
    });
    EXPECT_EQ(counts.heap, 6);
    EXPECT_EQ(counts.locks, 1);

    block = malloc(16);
    free(block);
    EXPECT_EQ(countDuring([] {}).heap, 0);
}

// The first block runs here too, so no lazy set-up on the audio path goes unseen.
TEST(RealtimeSafety, EffectBlocksNeitherAllocateNorLock)
{
    auto* effect = new ShaperEffect(nullptr);
    Buffers buffers;
    const Counts counts = countAudioPath(effect->getAEffect(), buffers);
    EXPECT_EQ(counts.heap, 0) << "allocations and frees inside process or processReplacing";
    EXPECT_EQ(counts.locks, 0) << "lock operations inside process or processReplacing";
    delete effect;
}

// The shipped module binds to this program's allocator and locks once loaded (the
// program exports them), so its block calls are counted the same way.
TEST(RealtimeSafety, LoadedModuleBlocksNeitherAllocateNorLock)
{
    LoadedModule module(SHAPER_MODULE_PATH);
    ASSERT_TRUE(module.loaded()) << LoadedModule::lastError();
    const auto entry = module.find<AEffect*(EFFECT_CALL*)(audioMasterCallback)>("main");
    ASSERT_NE(entry, nullptr);

    // Making the effect allocates through this program's allocator: proof that the module is bound to it.
    AEffect* record = nullptr;
    const Counts making = countDuring([&] { record = entry(nullptr); });
    ASSERT_NE(record, nullptr);
    EXPECT_GT(making.heap, 0) << "the module does not use this program's allocator; the check below would be blind";

    Buffers buffers;
    const Counts counts = countAudioPath(record, buffers);
    EXPECT_EQ(counts.heap, 0) << "allocations and frees inside process or processReplacing";
    EXPECT_EQ(counts.locks, 0) << "lock operations inside process or processReplacing";
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
}

} // namespace
