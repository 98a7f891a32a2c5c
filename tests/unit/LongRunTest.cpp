// A supervisor left running for a long time on a terminal whose workers hang, die and are
// restarted: what it keeps must not grow, and it must never run two copies of a worker.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "Supervisor.h"

namespace {

using zorpa::SlotId;

constexpr int Cycles = 10000;
constexpr std::uint32_t Seed = 20240605;
constexpr int Threshold = 3;

// Chances per cycle, in percent, of what happens to the terminal before the tick.
constexpr std::uint32_t HangChance = 6;
constexpr std::uint32_t DeathChance = 6;
constexpr std::uint32_t RestartCommandChance = 2;
constexpr std::uint32_t ResetTickChance = 15;

struct Disturbances {
    int hangs = 0;
    int deaths = 0;
    int restartCommands = 0;
    int resetTicks = 0;
};

class LongRun : public testing::Test {
protected:
    std::size_t RunningWorkers(const zorpa::SlotInfo& slot) const {
        return supervisor_.sim.RunningFrom(slot.file + 1).size();
    }

    // Hangs or ends the worker of a random slot, if it is there to hang or end.
    void Disturb(std::mt19937& random, Disturbances& seen) {
        const std::uint32_t roll = random() % 100;
        zorpa::ProgramSlot& slot = supervisor_.Slot(static_cast<SlotId>(random() % zorpa::SlotCount));
        sim::SimPlatform& sim = supervisor_.sim;
        if (roll < HangChance) {
            if (sim.WindowsOf(slot.Pid).empty()) return;
            sim.Hang(slot.Window);
            ++seen.hangs;
        } else if (roll < HangChance + DeathChance) {
            if (!sim.IsRunning(slot.Pid)) return;
            sim.ExitProcess(slot.Pid);
            ++seen.deaths;
        } else if (roll < HangChance + DeathChance + RestartCommandChance) {
            sim.SetSetting(L"Restart", L"1");
            ++seen.restartCommands;
        } else if (roll < HangChance + DeathChance + RestartCommandChance + ResetTickChance) {
            ASSERT_TRUE(supervisor_.Reset());
            ++seen.resetTicks;
        }
    }

    Supervisor supervisor_;
};

TEST_F(LongRun, TenThousandCyclesKeepOneInstancePerWorkerAndABoundedInstanceTable) {
    supervisor_.sim.SetSetting(L"AjusteZORPA", std::to_wstring(Threshold));
    ASSERT_TRUE(supervisor_.Load());
    const std::size_t startsAtLoad = supervisor_.sim.starts.size();

    std::mt19937 random(Seed);
    Disturbances seen;
    std::size_t largestTable = 0;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        Disturb(random, seen);
        ASSERT_TRUE(supervisor_.Tick()) << "the supervisor ended in cycle " << cycle;
        const std::size_t table = supervisor_.form->Module().RememberedInstances();
        largestTable = std::max(largestTable, table);
        ASSERT_LE(table, zorpa::SlotCount) << "cycle " << cycle;
        for (const zorpa::SlotInfo& slot : zorpa::Slots)
            ASSERT_LE(RunningWorkers(slot), 1u) << "cycle " << cycle;
    }

    // Left alone for as many cycles as the threshold, every missing worker is back.
    for (int cycle = 0; cycle < Threshold; ++cycle) ASSERT_TRUE(supervisor_.Tick());
    for (const zorpa::SlotInfo& slot : zorpa::Slots) {
        EXPECT_EQ(RunningWorkers(slot), 1u) << slot.file;
        const zorpa::ProgramSlot& state = supervisor_.form->Slot(slot.id);
        EXPECT_TRUE(supervisor_.sim.IsRunning(state.Pid)) << slot.file;
        EXPECT_FALSE(supervisor_.sim.WindowsOf(state.Pid).empty()) << slot.file;
    }
    EXPECT_EQ(supervisor_.form->Module().RememberedInstances(), zorpa::SlotCount);
    EXPECT_EQ(supervisor_.Flag(L"Restart"), L"0");

    // Only a disturbed worker is ever started again, and always hidden.
    const std::size_t restarts = supervisor_.sim.starts.size() - startsAtLoad;
    EXPECT_GT(restarts, 0u);
    EXPECT_LE(restarts, static_cast<std::size_t>(seen.hangs + seen.deaths +
                                                 seen.restartCommands * 3));
    for (std::size_t i = startsAtLoad; i < supervisor_.sim.starts.size(); ++i)
        EXPECT_EQ(supervisor_.sim.starts[i].showStyle, zorpa::ShowStyle::Hidden);
    EXPECT_GT(seen.hangs, 0);
    EXPECT_GT(seen.restartCommands, 0);
    RecordProperty("hangs", seen.hangs);
    RecordProperty("deaths", seen.deaths);
    RecordProperty("restart_commands", seen.restartCommands);
    RecordProperty("reset_ticks", seen.resetTicks);
    RecordProperty("restarts", static_cast<int>(restarts));
    RecordProperty("largest_instance_table", static_cast<int>(largestTable));
}

}  // namespace
