// The HQ module's editor opened, idled and closed again and again while another thread runs
// audio through the module and a third moves its parameters, as a host does when its user
// opens and closes the editor during playback. Built in the sanitizer trees too: AddressSanitizer
// finds what a close leaks or frees too early, ThreadSanitizer a race between the editor and
// the audio thread on the meters or the parameters.
#include "descriptor.h"
#include "module_loader.h"
#include "x_display.h"

// Before Xlib, whose None and Bool macros would rename gtest's own.
#include <gtest/gtest.h>

#include "host_window.h" // after gtest, as it brings Xlib
#include <X11/Xlib.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

std::atomic<int> automated{0};

std::intptr_t EFFECT_CALL host(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
{
    if (opcode == audioMasterAutomate) {
        automated.fetch_add(1, std::memory_order_relaxed);
    }
    return opcode == audioMasterVersion ? 2400 : 0;
}

} // namespace

TEST(HqEditorReopen, HundredOpensAndClosesWhileAudioRunsLeakAndRaceWithNothing)
{
    XDisplay server;
    ASSERT_FALSE(server.name().empty()) << "Xvfb did not start";
    const HostWindow hostWindow(600, 320);
    Display* x = hostWindow.display();
    ASSERT_NE(x, nullptr);
    const Window parent = hostWindow.window();

    const LoadedModule module(HQ_MODULE_PATH);
    ASSERT_TRUE(module.loaded()) << LoadedModule::lastError();
    const auto entry = module.find<AEffect*(EFFECT_CALL*)(audioMasterCallback)>("VSTPluginMain");
    ASSERT_NE(entry, nullptr);
    AEffect* effect = entry(host);
    ASSERT_NE(effect, nullptr);
    ASSERT_NE(effect->flags & effFlagsHasEditor, 0);
    effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);

    std::atomic<bool> running{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        std::vector<float> left(256), right(256), outLeft(256), outRight(256);
        float* in[] = {left.data(), right.data()};
        float* out[] = {outLeft.data(), outRight.data()};
        float phase = 0.0f;
        while (running.load()) {
            for (std::size_t i = 0; i < left.size(); ++i) {
                phase = phase > 1.0f ? phase - 2.0f : phase + 0.01f;
                left[i] = right[i] = phase * 0.8f;
            }
            effect->processReplacing(effect, in, out, 256);
            blocks.fetch_add(1);
        }
    });
    std::thread automation([&] {
        for (int step = 0; running.load(); ++step) {
            effect->setParameter(effect, step % 6, static_cast<float>(step % 11) / 10.0f);
            std::this_thread::yield();
        }
    });

    int opened = 0;
    for (int round = 0; round < 100; ++round) {
        ERect* rect = nullptr;
        ASSERT_EQ(effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f), 1);
        ASSERT_NE(rect, nullptr);
        EXPECT_EQ(rect->right - rect->left, 600);
        opened +=
            static_cast<int>(effect->dispatcher(effect, effEditOpen, 0, 0, reinterpret_cast<void*>(parent), 0.0f));
        for (int idle = 0; idle < 3; ++idle) {
            effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        }
        effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    }
    // Idle and close without an open editor do nothing.
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    running.store(false);
    audio.join();
    automation.join();
    EXPECT_EQ(opened, 100);
    EXPECT_GT(blocks.load(), 0);
    EXPECT_EQ(automated.load(), 0) << "the editor told the host of an edit nobody made";
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}
