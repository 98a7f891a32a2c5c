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

// The clock's rule apart from where its counts come from, so that the tests run both ways:
// the 64-bit count where there is one (Windows Vista and later), else the 32-bit count widened
// (Windows XP), keeping the last reading so that a wrap moves the clock on instead of back.
// A source is anything callable that can be empty (a function pointer, a std::function).
template <class TickCount64, class TickCount>
class WidenedTicks {
public:
    WidenedTicks(TickCount64 tickCount64, TickCount tickCount)
        : tickCount64_(tickCount64), tickCount_(tickCount) {}

    std::uint64_t Milliseconds() {
        if (tickCount64_) return tickCount64_();
        last_ = ExtendTicks(last_, tickCount_());
        return last_;
    }

private:
    TickCount64 tickCount64_;
    TickCount tickCount_;
    std::uint64_t last_ = 0;
};

}  // namespace zorpa::win32
