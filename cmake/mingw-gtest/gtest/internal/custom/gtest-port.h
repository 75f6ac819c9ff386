// GoogleTest's hook for platform customisation, put ahead of the stock one for the
// MinGW-w64 cross builds. Their win32-threads C++ library has no std::mutex or
// std::condition_variable, which GoogleTest's Notification is written with; this
// Notification waits on an atomic flag instead. Only GoogleTest's own thread helpers
// use it.
#ifndef GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

#include <atomic>

#if defined(__MINGW32__) && !defined(_GLIBCXX_HAS_GTHREADS)
namespace testing {
namespace internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified.store(true, std::memory_order_release); }

    void WaitForNotification()
    {
        while (!notified.load(std::memory_order_acquire)) {
        }
    }

private:
    std::atomic<bool> notified{false};
};

}  // namespace internal
}  // namespace testing
#define GTEST_HAS_NOTIFICATION_ 1
#endif

#endif
