#pragma once

#include <windows.h>

#include <cstdint>

namespace zorpa::win32 {

// Milliseconds since Windows started, never going back and never wrapping: GetTickCount64
// where Windows has it (Vista and later), else GetTickCount widened to 64 bits (Windows XP).
// Not for sharing between threads: the widening keeps the last reading.
class MonotonicClock {
public:
    MonotonicClock();
    std::uint64_t Milliseconds();

private:
    using TickCount64Function = ULONGLONG(WINAPI*)();
    TickCount64Function tickCount64_;
    std::uint64_t lastTicks_ = 0;
};

}  // namespace zorpa::win32
