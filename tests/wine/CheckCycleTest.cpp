// The check cycle of ZORPA.exe under Wine, driven by ticks that this test delivers to the
// form (its timers are never started, so no tick arrives otherwise).
#include "RunningSite.h"

namespace {

using namespace winetest;

constexpr DWORD EndTimeoutMs = 5000;

class CheckCycle : public RunningSite {};

TEST_F(CheckCycle, AHungWorkerIsRestartedHiddenAfterTheThresholdOfMissesWithoutReset) {
    Start(L"2");
    ASSERT_TRUE(Site().Hang(Pid(FendaTickets)));

    ASSERT_TRUE(Site().Tick(CheckTimer));
    ASSERT_TRUE(Site().Tick(ResetTimer));
    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size()) << "the reset tick cleared the count";
    EXPECT_TRUE(Site().IsRunning(Pid(FendaTickets)));

    ASSERT_TRUE(Site().Tick(CheckTimer));
    const std::optional<StandInStart> restart = Site().StartOf(L"FENDA_TICKETS.EXE", 1);
    ASSERT_TRUE(restart);
    EXPECT_EQ(restart->show, 0);
    EXPECT_EQ(restart->flags & STARTF_USESHOWWINDOW, DWORD{STARTF_USESHOWWINDOW});
    EXPECT_TRUE(Site().WaitForEnd(Pid(FendaTickets), EndTimeoutMs));
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size() + 1) << "only the hung worker restarts";
    for (std::size_t slot : {Gandro, FendaImpresion, Tulvan}) EXPECT_TRUE(Site().IsRunning(Pid(slot)));
    EXPECT_TRUE(Site().SupervisorRunning());
}

TEST_F(CheckCycle, AWorkerWhoseWindowComesLateIsStillFoundAndProbed) {
    Start(L"1", [](TerminalSite& site) { WriteText(site.PathOf(L"GANDRO.EXE.late"), "800"); });
    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size()) << "every window answered";
    for (std::size_t slot = 0; slot < WorkerFiles.size(); ++slot)
        EXPECT_TRUE(Site().IsRunning(Pid(slot)));
}

TEST_F(CheckCycle, AWorkerWithoutAWindowGetsASecondInstanceBesideTheFirst) {
    Start(L"1", [](TerminalSite& site) { WriteText(site.PathOf(L"GANDRO.EXE.nowindow"), ""); });
    ASSERT_TRUE(Site().Tick(CheckTimer));
    const std::optional<StandInStart> second = Site().StartOf(L"GANDRO.EXE", 1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->show, 0);
    EXPECT_TRUE(Site().IsRunning(Pid(Gandro))) << "nothing to terminate without a window";
    EXPECT_TRUE(Site().IsRunning(second->pid));
}

struct CommandCase {
    const wchar_t* flag;
    bool supervisorEnds;
};

class Commands : public RunningSite, public testing::WithParamInterface<CommandCase> {};

TEST_P(Commands, EndThreeWorkersClearTheFlagAndEndTheSupervisorUnlessRestart) {
    const CommandCase command = GetParam();
    Start(nullptr);
    settings::Set(command.flag, L"1");
    ASSERT_TRUE(Site().PostTick(CheckTimer));

    for (std::size_t slot : {FendaImpresion, Tulvan, FendaTickets})
        EXPECT_TRUE(Site().WaitForEnd(Pid(slot), EndTimeoutMs)) << WorkerFiles[slot].c_str();
    ASSERT_TRUE(WaitUntil([&] { return settings::Get(command.flag) == L"0"; }, EndTimeoutMs));
    EXPECT_EQ(Site().WaitForSupervisorEnd(EndTimeoutMs), command.supervisorEnds);
    EXPECT_TRUE(Site().IsRunning(Pid(Gandro)));
    if (!command.supervisorEnds) {
        ASSERT_TRUE(Site().Tick(CheckTimer)) << "the supervisor still answers its ticks";
        EXPECT_EQ(Site().Starts().size(), WorkerFiles.size()) << "restarts wait for the threshold";
    }
}

INSTANTIATE_TEST_SUITE_P(Flags, Commands,
                         testing::Values(CommandCase{L"ShutDown", true},
                                         CommandCase{L"Exit", true},
                                         CommandCase{L"Restart", false}),
                         [](const testing::TestParamInfo<CommandCase>& info) {
                             std::string name;
                             for (const wchar_t* c = info.param.flag; *c != 0; ++c)
                                 name += static_cast<char>(*c);
                             return name;
                         });

}  // namespace
