#pragma once

#include <windows.h>

#include <cstdint>

#include "TickExtension.h"

namespace zorpa::win32 {

// Milliseconds since Windows started, never going back and never wrapping: GetTickCount64
// where Windows has it (Vista and later), else GetTickCount widened to 64 bits (Windows XP).
// Not for sharing between threads: the widening keeps the last reading.
class MonotonicClock {
public:
    using TickCount64Function = ULONGLONG(WINAPI*)();

    // Windows' own GetTickCount64 when it has one.
    MonotonicClock();
    // A null `tickCount64` makes the clock run as on Windows XP.
    explicit MonotonicClock(TickCount64Function tickCount64);

    std::uint64_t Milliseconds() { return ticks_.Milliseconds(); }

private:
    WidenedTicks<TickCount64Function, DWORD(WINAPI*)()> ticks_;
};

}  // namespace zorpa::win32
