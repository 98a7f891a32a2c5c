// Delivers one tick of the supervisor's check-cycle timer, as the timer itself would if it
// were ever started, so that the demo can show the supervisor obeying a command flag.
#include <windows.h>

#include <cstdio>

int main() {
    constexpr WPARAM CheckTimer = 1;
    const HWND form = ::FindWindowW(L"frmZORPA", L"Form1");
    if (form == nullptr || !::PostMessageW(form, WM_TIMER, CheckTimer, 0)) {
        std::puts("PostTick: the supervisor's form was not found");
        return 1;
    }
    return 0;
}
