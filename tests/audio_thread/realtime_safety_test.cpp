// The audio path allocates nothing, frees nothing and takes no lock. This program is linked
// with plughost's audio path counter, which defines the allocator and the locking functions
// and exports them, so every such call made by the effect, and by the built module once
// loaded, passes through it first. The counter runs only on the thread that armed it,
// around the block calls.
//
// Built only without sanitizers: they bring allocators and interceptors of their own.

#include "shaper_effect.h"
#include "soft_knee_hq.h"

#include "audio_path_counter.h"
#include "module_loader.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>
#include <pthread.h>
#include <semaphore.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using plughost::AudioPathCounts;

namespace {

// What the audio path did on this thread while `body` ran.
template <typename Body> AudioPathCounts countDuring(Body body)
{
    const AudioPathCounts before = plughost::audioPathCounts();
    {
        const plughost::AudioPathWatch watch;
        body();
    }
    const AudioPathCounts after = plughost::audioPathCounts();
    return {after.allocations - before.allocations, after.locks - before.locks};
}

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
AudioPathCounts countAudioPath(AEffect* record, Buffers& buffers)
{
    float* separateIn[2] = {buffers.inLeft.data(), buffers.inRight.data()};
    float* separateOut[2] = {buffers.outLeft.data(), buffers.outRight.data()};
    float* monoIn[2] = {buffers.inLeft.data(), buffers.inLeft.data()};
    float* inPlace[2] = {buffers.outLeft.data(), buffers.outRight.data()};
    AudioPathCounts total;
    for (const ParameterSet& set : kParameterSets) {
        record->setParameter(record, kBoostParam, set.boost);
        record->setParameter(record, kKneeParam, set.knee);
        record->setParameter(record, kHardnessParam, set.hardness);
        const AudioPathCounts counts = countDuring([&] {
            for (const std::int32_t frames : kFrameCounts) {
                record->processReplacing(record, separateIn, separateOut, frames);
                record->process(record, separateIn, separateOut, frames);
                record->processReplacing(record, monoIn, separateOut, frames);
                record->process(record, monoIn, separateOut, frames);
                record->processReplacing(record, inPlace, inPlace, frames);
                record->process(record, inPlace, inPlace, frames);
            }
        });
        total.allocations += counts.allocations;
        total.locks += counts.locks;
    }
    return total;
}

// The counter itself: an allocation, a free and a lock made while armed are all seen, and
// the same calls made while not armed are not.
TEST(RealtimeSafety, CounterSeesAllocationFreeAndLock)
{
    ASSERT_TRUE(plughost::audioPathCountingAvailable());
    void* volatile block = nullptr;
    std::mutex mutex;
    const AudioPathCounts counts = countDuring([&] {
        block = malloc(16);
        free(block);
        auto* text = new std::string(100, 'x'); // the object and its characters: two allocations, two frees
        delete text;
        const std::lock_guard<std::mutex> guard(mutex);
    });
    EXPECT_EQ(counts.allocations, 6u);
    EXPECT_EQ(counts.locks, 1u);

    block = malloc(16);
    free(block);
    EXPECT_EQ(countDuring([] {}).allocations, 0u);
}

// The function a loaded module reaches under `name`: the dynamic linker's first definition.
// It must be this program's own, or the module would bypass the counter.
template <typename Function> Function reachedByModules(const char* name, Function own)
{
    void* const found = dlsym(RTLD_DEFAULT, name);
    EXPECT_EQ(found, reinterpret_cast<void*>(own)) << name << " is not exported by this program";
    return found != nullptr ? reinterpret_cast<Function>(found) : own;
}

// Every allocating, locking and waiting function the counter replaces, called as a loaded
// module calls it; each call is counted once (an allocation and its free, twice).
TEST(RealtimeSafety, CounterSeesEveryReplacedFunctionAsModulesReachIt)
{
    const auto mallocCall = reachedByModules("malloc", &malloc);
    const auto callocCall = reachedByModules("calloc", &calloc);
    const auto reallocCall = reachedByModules("realloc", &realloc);
    const auto freeCall = reachedByModules("free", &free);
    const auto memalignCall = reachedByModules("memalign", &memalign);
    const auto alignedAllocCall = reachedByModules("aligned_alloc", &aligned_alloc);
    const auto posixMemalignCall = reachedByModules("posix_memalign", &posix_memalign);
    const auto mutexLock = reachedByModules("pthread_mutex_lock", &pthread_mutex_lock);
    const auto mutexTrylock = reachedByModules("pthread_mutex_trylock", &pthread_mutex_trylock);
    const auto mutexTimedlock = reachedByModules("pthread_mutex_timedlock", &pthread_mutex_timedlock);
    const auto rdlock = reachedByModules("pthread_rwlock_rdlock", &pthread_rwlock_rdlock);
    const auto wrlock = reachedByModules("pthread_rwlock_wrlock", &pthread_rwlock_wrlock);
    const auto tryrdlock = reachedByModules("pthread_rwlock_tryrdlock", &pthread_rwlock_tryrdlock);
    const auto trywrlock = reachedByModules("pthread_rwlock_trywrlock", &pthread_rwlock_trywrlock);
    const auto spinLock = reachedByModules("pthread_spin_lock", &pthread_spin_lock);
    const auto spinTrylock = reachedByModules("pthread_spin_trylock", &pthread_spin_trylock);
    const auto semWait = reachedByModules("sem_wait", &sem_wait);
    const auto semTrywait = reachedByModules("sem_trywait", &sem_trywait);
    const auto semTimedwait = reachedByModules("sem_timedwait", &sem_timedwait);
    const auto condTimedwait = reachedByModules("pthread_cond_timedwait", &pthread_cond_timedwait);
    // Only its binding is checked: without a second thread to signal it, it would never return.
    reachedByModules("pthread_cond_wait", &pthread_cond_wait);

    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_t heldMutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_rwlock_t rwlock = PTHREAD_RWLOCK_INITIALIZER;
    pthread_cond_t condition = PTHREAD_COND_INITIALIZER;
    pthread_spinlock_t spin;
    ASSERT_EQ(pthread_spin_init(&spin, PTHREAD_PROCESS_PRIVATE), 0);
    sem_t semaphore;
    ASSERT_EQ(sem_init(&semaphore, 0, 1), 0);
    const timespec longPast{0, 0};

    // `call` runs counted; `release` undoes it afterwards, uncounted.
    struct Case {
        const char* name;
        std::function<void()> call;
        std::function<void()> release;
        AudioPathCounts expected;
    };
    const auto nothing = [] {};
    const auto unlockMutex = [&] { pthread_mutex_unlock(&mutex); };
    const auto unlockRwlock = [&] { pthread_rwlock_unlock(&rwlock); };
    const auto unlockSpin = [&] { pthread_spin_unlock(&spin); };
    const auto postSemaphore = [&] { sem_post(&semaphore); };
    void* block = nullptr;
    const std::vector<Case> cases = {
        {"malloc", [&] { freeCall(mallocCall(16)); }, nothing, {2, 0}},
        {"calloc", [&] { freeCall(callocCall(4, 4)); }, nothing, {2, 0}},
        {"realloc", [&] { freeCall(reallocCall(nullptr, 16)); }, nothing, {2, 0}},
        {"memalign", [&] { freeCall(memalignCall(64, 64)); }, nothing, {2, 0}},
        {"aligned_alloc", [&] { freeCall(alignedAllocCall(64, 64)); }, nothing, {2, 0}},
        {"posix_memalign",
         [&] {
             if (posixMemalignCall(&block, 64, 64) == 0)
                 freeCall(block);
         },
         nothing,
         {2, 0}},
        {"pthread_mutex_lock", [&] { mutexLock(&mutex); }, unlockMutex, {0, 1}},
        {"pthread_mutex_trylock", [&] { mutexTrylock(&mutex); }, unlockMutex, {0, 1}},
        {"pthread_mutex_timedlock", [&] { mutexTimedlock(&mutex, &longPast); }, unlockMutex, {0, 1}},
        {"pthread_rwlock_rdlock", [&] { rdlock(&rwlock); }, unlockRwlock, {0, 1}},
        {"pthread_rwlock_wrlock", [&] { wrlock(&rwlock); }, unlockRwlock, {0, 1}},
        {"pthread_rwlock_tryrdlock", [&] { tryrdlock(&rwlock); }, unlockRwlock, {0, 1}},
        {"pthread_rwlock_trywrlock", [&] { trywrlock(&rwlock); }, unlockRwlock, {0, 1}},
        {"pthread_spin_lock", [&] { spinLock(&spin); }, unlockSpin, {0, 1}},
        {"pthread_spin_trylock", [&] { spinTrylock(&spin); }, unlockSpin, {0, 1}},
        {"sem_wait", [&] { semWait(&semaphore); }, postSemaphore, {0, 1}},
        {"sem_trywait", [&] { semTrywait(&semaphore); }, postSemaphore, {0, 1}},
        {"sem_timedwait", [&] { semTimedwait(&semaphore, &longPast); }, postSemaphore, {0, 1}},
        {"pthread_cond_timedwait", [&] { condTimedwait(&condition, &heldMutex, &longPast); }, nothing, {0, 1}},
    };
    // A condition wait needs its mutex held; it is held again when the wait times out.
    pthread_mutex_lock(&heldMutex);
    for (const Case& entry : cases) {
        const AudioPathCounts counts = countDuring(entry.call);
        entry.release();
        EXPECT_EQ(counts.allocations, entry.expected.allocations) << entry.name;
        EXPECT_EQ(counts.locks, entry.expected.locks) << entry.name;
    }
    pthread_mutex_unlock(&heldMutex);
    sem_destroy(&semaphore);
    pthread_spin_destroy(&spin);
}

// The first block runs here too, so no lazy set-up on the audio path goes unseen.
TEST(RealtimeSafety, EffectBlocksNeitherAllocateNorLock)
{
    auto* effect = new ShaperEffect(nullptr);
    Buffers buffers;
    const AudioPathCounts counts = countAudioPath(effect->getAEffect(), buffers);
    EXPECT_EQ(counts.allocations, 0u) << "allocations and frees inside process or processReplacing";
    EXPECT_EQ(counts.locks, 0u) << "lock operations inside process or processReplacing";
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
    const AudioPathCounts making = countDuring([&] { record = entry(nullptr); });
    ASSERT_NE(record, nullptr);
    EXPECT_GT(making.allocations, 0u)
        << "the module does not use this program's allocator; the check below would be blind";

    Buffers buffers;
    const AudioPathCounts counts = countAudioPath(record, buffers);
    EXPECT_EQ(counts.allocations, 0u) << "allocations and frees inside process or processReplacing";
    EXPECT_EQ(counts.locks, 0u) << "lock operations inside process or processReplacing";
    record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
}

} // namespace

// The HQ core's blocks, through glides, a Quality switch and the bypass with their crossfades,
// the auto gain and the ceiling, in blocks of every size a host may give; making the core is
// counted too, proof that the count sees it.
TEST(RealtimeSafety, HqCoreBlocksNeitherAllocateNorLock)
{
    std::unique_ptr<SoftKneeHq> hq;
    EXPECT_GT(countDuring([&] { hq = std::make_unique<SoftKneeHq>(44100.0); }).allocations, 0u);
    Buffers buffers;
    const AudioPathCounts counts = countDuring([&] {
        std::int32_t block = 0;
        for (const std::int32_t frames : {0, 1, 64, 333, Buffers::kCapacity, 512, 512, 512, 512, 7}) {
            hq->setBoost(static_cast<float>(block % 11));
            hq->setQuality(static_cast<float>(block % kHqQualityCount));
            hq->setOutputDb(kNaN);
            hq->setAutoGain(static_cast<float>(block % 2));
            hq->setCeilingDb(block % 3 == 0 ? -6.0f : 1.0f);
            hq->setBypass(block % 4 == 2);
            hq->process(buffers.inLeft.data(), buffers.inRight.data(), buffers.outLeft.data(),
                        buffers.outRight.data(), frames);
            ++block;
        }
    });
    EXPECT_EQ(counts.allocations, 0u) << "allocations and frees inside SoftKneeHq::process";
    EXPECT_EQ(counts.locks, 0u) << "lock operations inside SoftKneeHq::process";
}
