#include "MonotonicClock.h"

namespace zorpa::win32 {

namespace {

// Looked up at run time: importing GetTickCount64 would keep the program from loading on
// Windows XP. The detour through a plain function pointer type is the portable way to turn
// GetProcAddress's result into the function's own type.
MonotonicClock::TickCount64Function KernelTickCount64() {
    return reinterpret_cast<MonotonicClock::TickCount64Function>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")));
}

}  // namespace

MonotonicClock::MonotonicClock() : MonotonicClock(KernelTickCount64()) {}

MonotonicClock::MonotonicClock(TickCount64Function tickCount64)
    : ticks_(tickCount64, ::GetTickCount) {}

}  // namespace zorpa::win32
