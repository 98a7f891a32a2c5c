// GoogleTest's Notification, which it builds on std::mutex, on a Win32 event instead: the
// win32 thread-model MinGW-w64 compilers have no std::mutex. Included ahead of every
// GoogleTest source and test file, before GoogleTest's own headers look for it.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() : event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        if (event_ != nullptr) ::CloseHandle(event_);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { ::SetEvent(event_); }
    void WaitForNotification() { ::WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace testing::internal
