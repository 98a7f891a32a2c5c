#pragma once

#include <cstdint>

namespace zorpa::win32 {

// Widens a 32-bit millisecond tick count, which wraps every 49.7 days, to 64 bits: `previous`
// is the last widened value and `tick` the count read now. A count below the previous one's
// low half means the counter wrapped in between. Pure arithmetic, so it is tested on the host.
// A caller that reads the count less often than once per wrap loses whole wraps, but the result
// never goes back, and spans between close readings stay exact.
constexpr std::uint64_t ExtendTicks(std::uint64_t previous, std::uint32_t tick) {
    constexpr std::uint64_t WrapSpan = std::uint64_t{1} << 32;
    const std::uint64_t wraps = previous & ~(WrapSpan - 1);
    const auto previousTick = static_cast<std::uint32_t>(previous);
    return tick < previousTick ? wraps + WrapSpan + tick : wraps + tick;
}

}  // namespace zorpa::win32
