#include <gtest/gtest.h>

#include "Supervisor.h"

using zorpa::MessageIcon;
using zorpa::SlotId;

namespace {

TEST(Startup, StartsTheFourWorkersInOrderWithTheirStyles) {
    Supervisor s;
    for (const wchar_t* flag : {L"RemplazarProgramas", L"ShutDown", L"Exit", L"Restart"}) {
        s.sim.SetSetting(flag, L"1");
    }
    ASSERT_TRUE(s.Load());

    EXPECT_TRUE(s.sim.formHidden);
    ASSERT_EQ(s.sim.starts.size(), 4u);
    const std::pair<SlotId, int> expected[] = {
        {SlotId::GANDRO, 6}, {SlotId::FENDA_IMPRESION, 6}, {SlotId::FENDA_TICKETS, 6}, {SlotId::TULVAN, 3}};
    for (std::size_t i = 0; i < 4; ++i) {
        const auto [id, style] = expected[i];
        EXPECT_EQ(s.sim.starts[i].path, s.PathOf(id));
        EXPECT_EQ(s.sim.starts[i].showStyle, style);
        EXPECT_EQ(s.Slot(id).Pid, s.sim.starts[i].id);
        EXPECT_EQ(s.Slot(id).Window, s.sim.WindowsOf(s.sim.starts[i].id).at(0));
        EXPECT_EQ(s.Slot(id).MissCounter, 0);
    }
    // Commands posted while the supervisor was down are dropped before anything starts.
    const std::vector<std::string> firstEvents(s.sim.events.begin(), s.sim.events.begin() + 5);
    EXPECT_EQ(firstEvents, (std::vector<std::string>{"write RemplazarProgramas=0", "write ShutDown=0",
                                                     "write Exit=0", "write Restart=0",
                                                     "start GANDRO.EXE style 6"}));
    EXPECT_EQ(s.form->MissThreshold, 10);
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
    EXPECT_TRUE(s.sim.messages.empty());
}

struct MissingWorker : ::testing::TestWithParam<std::pair<SlotId, const wchar_t*>> {};

TEST_P(MissingWorker, ShowsItsMessageAndEndsBeforeTheLaterWorkers) {
    const auto [missing, message] = GetParam();
    Supervisor s;
    s.sim.RemoveFile(s.PathOf(missing));
    EXPECT_FALSE(s.Load());

    ASSERT_EQ(s.sim.messages.size(), 1u);
    EXPECT_EQ(s.sim.messages[0].prompt, message);
    EXPECT_EQ(s.sim.messages[0].title, L"ZORPA");
    EXPECT_EQ(s.sim.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(s.sim.events.back(), "end");
    EXPECT_EQ(s.Slot(missing).Pid, -1);

    std::size_t position = 0;
    while (zorpa::StartOrder[position] != missing) ++position;
    EXPECT_EQ(s.sim.starts.size(), position);  // the ones before it, and they keep running
    for (const sim::StartRecord& start : s.sim.starts) EXPECT_TRUE(s.sim.IsRunning(start.id));
}

INSTANTIATE_TEST_SUITE_P(
    EachWorker, MissingWorker,
    ::testing::Values(
        std::make_pair(SlotId::GANDRO, L"Gandro! Errores en la instalacion, llame a soporte!"),
        std::make_pair(SlotId::FENDA_IMPRESION, L"Fenda! Errores en la instalacion, llame a soporte!"),
        std::make_pair(SlotId::FENDA_TICKETS, L"Fenda! Errores en la instalacion, llame a soporte!"),
        std::make_pair(SlotId::TULVAN, L"Tulvan! Errores en la instalacion, llame a soporte!")),
    [](const auto& info) { return sim::SimPlatform::Narrow(zorpa::InfoOf(info.param.first).name); });

TEST(Startup, DriveRootFolderPathsHoldTwoBackslashes) {
    Supervisor s;
    s.sim.folder = L"D:\\";
    s.sim.AddWorkers();
    ASSERT_TRUE(s.Load());
    EXPECT_EQ(s.sim.starts.at(0).path, L"D:\\\\GANDRO.EXE");
    EXPECT_EQ(s.sim.starts.at(3).path, L"D:\\\\TULVAN.EXE");
}

TEST(Startup, UnusableThresholdFallsBackToTenAndTheWorkersStillStart) {
    for (const wchar_t* value : {L"abc", L"", L"99999"}) {
        Supervisor s;
        s.sim.SetSetting(L"AjusteZORPA", value);
        ASSERT_TRUE(s.Load());
        EXPECT_EQ(s.form->MissThreshold, 10);
        EXPECT_EQ(s.sim.starts.size(), 4u);
    }
    Supervisor zero;
    zero.sim.SetSetting(L"AjusteZORPA", L"0");
    ASSERT_TRUE(zero.Load());
    EXPECT_EQ(zero.form->MissThreshold, 0);
}

TEST(Startup, WorkerWithoutAWindowYetIsNotGivenAnEarlierWorkersWindow) {
    Supervisor s;
    s.sim.Behaviour(L"FENDA_TICKETS.EXE").createsWindow = false;
    ASSERT_TRUE(s.Load());
    EXPECT_EQ(s.Slot(SlotId::FENDA_TICKETS).Window, 0u);
    EXPECT_NE(s.Slot(SlotId::FENDA_TICKETS).Pid, -1);
    EXPECT_NE(s.Slot(SlotId::TULVAN).Window, 0u);
}

TEST(Startup, UnhandledErrorIsReportedOnceAndEndsTheSupervisor) {
    Supervisor s;
    s.sim.FailWritesOf(L"Exit");
    EXPECT_FALSE(s.Load());
    ASSERT_EQ(s.sim.messages.size(), 1u);
    EXPECT_EQ(s.sim.messages[0].title, L"ZORPA");
    EXPECT_EQ(s.sim.messages[0].icon, MessageIcon::Critical);
    EXPECT_NE(s.sim.messages[0].prompt.find(L"Exit"), std::wstring::npos);
    EXPECT_TRUE(s.sim.starts.empty());
}

}  // namespace
