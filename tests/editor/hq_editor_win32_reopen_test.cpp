// The HQ DLL's Win32 editor opened and closed as hosts do, under Wine on a display the native
// driver (hq_editor_wine_test.cpp) gives it: a hundred times while another thread runs audio,
// two effects' editors at once, and a host that destroys its window before closing the editor.
// Each close must take the editor's window with it, and the last one its window class.
#include "descriptor.h"
#include "module_loader.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <vector>

namespace {

constexpr wchar_t kEditorClass[] = L"SoftKneeShaperHQEditor";

std::intptr_t EFFECT_CALL host(AEffect*, std::int32_t opcode, std::int32_t, std::intptr_t, void*, float)
{
    return opcode == audioMasterVersion ? 2400 : 0;
}

// The host's window, a plain top-level window of a class of the test's own.
HWND hostWindow()
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"ReopenTestHost";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"ReopenTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 400, nullptr,
                           nullptr, windowClass.hInstance, nullptr);
}

void pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&message);
    }
}

int children(HWND parent)
{
    int count = 0;
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        ++count;
    }
    return count;
}

class Win32Editor : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.loaded()) << LoadedModule::lastError();
        dll = GetModuleHandleA("SoftKneeShaperHQ.dll");
        ASSERT_NE(dll, nullptr);
        parent = hostWindow();
        ASSERT_NE(parent, nullptr);
    }
    void TearDown() override
    {
        for (AEffect* effect : effects) {
            effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        }
        DestroyWindow(parent);
    }
    AEffect* makeEffect()
    {
        const auto entry = module.find<AEffect*(EFFECT_CALL*)(audioMasterCallback)>("main");
        AEffect* effect = entry != nullptr ? entry(host) : nullptr;
        if (effect != nullptr) {
            effect->dispatcher(effect, effOpen, 0, 0, nullptr, 0.0f);
            effects.push_back(effect);
        }
        return effect;
    }
    bool classRegistered() const
    {
        WNDCLASSEXW about{};
        about.cbSize = sizeof about;
        return GetClassInfoExW(dll, kEditorClass, &about) != FALSE;
    }

    const LoadedModule module{HQ_MODULE_PATH};
    HMODULE dll = nullptr;
    HWND parent = nullptr;
    std::vector<AEffect*> effects;
};

struct Playback {
    AEffect* effect;
    std::atomic<bool> running{true};
    static DWORD WINAPI run(void* self)
    {
        auto& playback = *static_cast<Playback*>(self);
        std::vector<float> in(256, 0.5f), out(256);
        float* inputs[] = {in.data(), in.data()};
        float* outputs[] = {out.data(), out.data()};
        while (playback.running.load()) {
            playback.effect->processReplacing(playback.effect, inputs, outputs, 256);
        }
        return 0;
    }
};

} // namespace

TEST_F(Win32Editor, HundredOpensAndClosesDuringPlaybackLeaveNoWindowAndNoClass)
{
    AEffect* effect = makeEffect();
    ASSERT_NE(effect, nullptr);
    ASSERT_NE(effect->flags & effFlagsHasEditor, 0);
    effect->dispatcher(effect, effSetSampleRate, 0, 0, nullptr, 48000.0f);
    effect->dispatcher(effect, effSetBlockSize, 0, 256, nullptr, 0.0f);
    effect->dispatcher(effect, effMainsChanged, 0, 1, nullptr, 0.0f);
    Playback playback{effect};
    HANDLE audio = CreateThread(nullptr, 0, &Playback::run, &playback, 0, nullptr);
    ASSERT_NE(audio, nullptr);
    for (int round = 0; round < 100; ++round) {
        ERect* rect = nullptr;
        ASSERT_EQ(effect->dispatcher(effect, effEditGetRect, 0, 0, &rect, 0.0f), 1);
        ASSERT_EQ(rect->right - rect->left, 600);
        ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0.0f), 1) << "round " << round;
        EXPECT_EQ(children(parent), 1) << "round " << round;
        pump();
        effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
        effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
        pump();
        EXPECT_EQ(children(parent), 0) << "round " << round;
        EXPECT_FALSE(classRegistered()) << "round " << round;
    }
    playback.running.store(false);
    WaitForSingleObject(audio, INFINITE);
    CloseHandle(audio);
}

TEST_F(Win32Editor, ClassOutlivesTheFirstOfTwoEditorsAndGoesWithTheLast)
{
    AEffect* first = makeEffect();
    AEffect* second = makeEffect();
    ASSERT_NE(second, nullptr);
    ASSERT_EQ(first->dispatcher(first, effEditOpen, 0, 0, parent, 0.0f), 1);
    ASSERT_EQ(second->dispatcher(second, effEditOpen, 0, 0, parent, 0.0f), 1);
    EXPECT_EQ(children(parent), 2);
    first->dispatcher(first, effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(children(parent), 1);
    EXPECT_TRUE(classRegistered()) << "the second editor's class went with the first";
    second->dispatcher(second, effEditIdle, 0, 0, nullptr, 0.0f);
    second->dispatcher(second, effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(children(parent), 0);
    EXPECT_FALSE(classRegistered());
}

TEST_F(Win32Editor, HostWindowDestroyedBeforeCloseLeavesIdleAndCloseHarmless)
{
    AEffect* effect = makeEffect();
    ASSERT_NE(effect, nullptr);
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0.0f), 1);
    DestroyWindow(parent);
    parent = hostWindow();
    effect->dispatcher(effect, effEditIdle, 0, 0, nullptr, 0.0f);
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
    EXPECT_FALSE(classRegistered());
    ASSERT_EQ(effect->dispatcher(effect, effEditOpen, 0, 0, parent, 0.0f), 1) << "no editor after the host's loss";
    effect->dispatcher(effect, effEditClose, 0, 0, nullptr, 0.0f);
}
