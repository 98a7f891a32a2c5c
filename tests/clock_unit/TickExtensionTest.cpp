// The widening of Windows XP's 32-bit tick count that stands in for GetTickCount64.
#include <gtest/gtest.h>

#include <functional>

#include "TickExtension.h"

namespace {

using zorpa::win32::ExtendTicks;
using Clock =
    zorpa::win32::WidenedTicks<std::function<std::uint64_t()>, std::function<std::uint32_t()>>;

constexpr std::uint64_t WrapSpan = std::uint64_t{1} << 32;

TEST(TickExtension, FollowsTheCountAndCarriesEachWrapIntoTheHighHalf) {
    EXPECT_EQ(ExtendTicks(0, 0), 0u);
    EXPECT_EQ(ExtendTicks(0, 1234), 1234u);
    EXPECT_EQ(ExtendTicks(1234, 1234), 1234u);
    EXPECT_EQ(ExtendTicks(1000, 0xFFFFFFFFu), 0xFFFFFFFFu);
    // The counter wrapped between the two readings.
    EXPECT_EQ(ExtendTicks(0xFFFFFFF0u, 5), WrapSpan + 5);
    EXPECT_EQ(ExtendTicks(0xFFFFFFFFu, 0), WrapSpan);
    // Later wraps add up, and readings after a wrap stay on its side.
    EXPECT_EQ(ExtendTicks(WrapSpan + 5, 900), WrapSpan + 900);
    EXPECT_EQ(ExtendTicks(2 * WrapSpan + 0xFFFFFF00u, 0x10), 3 * WrapSpan + 0x10);
}

TEST(TickExtension, SpansAcrossAWrapStayExactAndTheClockNeverGoesBack) {
    // A probe that starts 10 ms before the wrap and reads every 4 ms.
    std::uint64_t clock = 0xFFFFFFFFu - 10;
    const std::uint64_t start = clock;
    std::uint32_t tick = static_cast<std::uint32_t>(start);
    for (int reading = 1; reading <= 10; ++reading) {
        tick += 4;
        const std::uint64_t next = ExtendTicks(clock, tick);
        ASSERT_GE(next, clock) << "reading " << reading;
        EXPECT_EQ(next - start, 4u * static_cast<std::uint64_t>(reading)) << "reading " << reading;
        clock = next;
    }
}

TEST(TickExtension, ClockUsesTheWideCountWhereThereIsOneElseWidensTheNarrowOneAcrossTheWrap) {
    int narrowReads = 0;
    Clock vista([] { return 3 * WrapSpan + 7; }, [&] { return ++narrowReads, 0u; });
    EXPECT_EQ(vista.Milliseconds(), 3 * WrapSpan + 7);
    EXPECT_EQ(narrowReads, 0);

    // Windows XP: no 64-bit count, and the 32-bit one wraps between two readings.
    std::uint32_t tick = 0xFFFFFF00u;
    Clock xp(nullptr, [&] { return tick; });
    EXPECT_EQ(xp.Milliseconds(), 0xFFFFFF00u);
    tick = 0x10;
    EXPECT_EQ(xp.Milliseconds(), WrapSpan + 0x10);
    tick = 0x20;
    EXPECT_EQ(xp.Milliseconds(), WrapSpan + 0x20);
}

}  // namespace
