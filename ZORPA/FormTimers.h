#pragma once

#include <array>
#include <cstdint>

namespace zorpa {

// The form's two timers. Both are created disabled and nothing in the supervisor enables
// them; a WM_TIMER with one of these ids, posted by another program, runs one handler.
struct FormTimer {
    const wchar_t* name;
    std::uintptr_t id;
    std::uint32_t intervalMs;
};

inline constexpr FormTimer tmrCheck{L"tmrCheck", 1, 250};
inline constexpr FormTimer tmrReset{L"tmrReset", 2, 500};

}  // namespace zorpa
