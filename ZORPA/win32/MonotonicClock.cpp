#include "MonotonicClock.h"

#include "TickExtension.h"

namespace zorpa::win32 {

// Looked up at run time: importing GetTickCount64 would keep the program from loading on
// Windows XP. The detour through a plain function pointer type is the portable way to turn
// GetProcAddress's result into the function's own type.
MonotonicClock::MonotonicClock()
    : tickCount64_(reinterpret_cast<TickCount64Function>(reinterpret_cast<void (*)()>(
          ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTickCount64")))) {}

std::uint64_t MonotonicClock::Milliseconds() {
    if (tickCount64_ != nullptr) return tickCount64_();
    lastTicks_ = ExtendTicks(lastTicks_, ::GetTickCount());
    return lastTicks_;
}

}  // namespace zorpa::win32
