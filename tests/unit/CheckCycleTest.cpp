#include <gtest/gtest.h>

#include "Supervisor.h"

using zorpa::MessageIcon;
using zorpa::SlotId;

namespace {

struct CheckCycle : ::testing::Test {
    Supervisor s;

    void SetUp() override { ASSERT_TRUE(s.Load()); }
    void Threshold(const wchar_t* value) { s.sim.SetSetting(L"AjusteZORPA", value); }
    bool Running(SlotId id) { return s.sim.IsRunning(s.Slot(id).Pid); }
    void HangWorker(SlotId id) { s.sim.Hang(s.Slot(id).Window); }
    int TotalSends() {
        int total = 0;
        for (const auto& [window, count] : s.sim.sends) total += count;
        return total;
    }
    std::vector<std::string> EventsSince(std::size_t from) {
        return {s.sim.events.begin() + static_cast<std::ptrdiff_t>(from), s.sim.events.end()};
    }
};

TEST_F(CheckCycle, ReReadsTheThresholdEveryCycle) {
    Threshold(L"3");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.form->MissThreshold, 3);
    Threshold(L"abc");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.form->MissThreshold, 10);
}

// --- commands ---

struct Command : CheckCycle, ::testing::WithParamInterface<std::pair<const wchar_t*, bool>> {};

TEST_P(Command, KillsThreeWorkersInOrderAndClearsTheFlag) {
    const auto [flag, ends] = GetParam();
    s.sim.SetSetting(flag, L"1");
    const std::size_t before = s.sim.events.size();
    EXPECT_EQ(s.Tick(), !ends);

    const std::vector<std::string> kills{"terminate FENDA_IMPRESION.EXE", "terminate TULVAN.EXE",
                                         "terminate FENDA_TICKETS.EXE"};
    std::vector<std::string> expected = kills;
    expected.push_back("write " + s.sim.Narrow(flag) + "=0");
    const std::vector<std::string> events = EventsSince(before);
    ASSERT_GE(events.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4), expected);
    if (ends) {
        EXPECT_EQ(events.back(), "end");
    }
    EXPECT_EQ(s.Flag(flag), L"0");
    EXPECT_TRUE(Running(SlotId::GANDRO));
}

INSTANTIATE_TEST_SUITE_P(Flags, Command,
                         ::testing::Values(std::make_pair(L"ShutDown", true),
                                           std::make_pair(L"Exit", true),
                                           std::make_pair(L"Restart", false)),
                         [](const auto& info) { return sim::SimPlatform::Narrow(info.param.first); });

TEST_F(CheckCycle, RestartLeavesTheNewStartsToTheHangWatch) {
    Threshold(L"2");
    s.sim.SetSetting(L"Restart", L"1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.sim.starts.size(), 4u);  // killed workers count their first miss
    EXPECT_EQ(s.Slot(SlotId::TULVAN).MissCounter, 1);
    ASSERT_TRUE(s.Tick());
    ASSERT_EQ(s.sim.starts.size(), 7u);
    for (std::size_t i = 4; i < 7; ++i) EXPECT_EQ(s.sim.starts[i].showStyle, 0);
    for (SlotId id : zorpa::CommandKillOrder) EXPECT_TRUE(Running(id));
}

TEST_F(CheckCycle, UnreadableCommandValuesAreNotCommands) {
    s.sim.SetSetting(L"ShutDown", L"");
    s.sim.SetSetting(L"Exit", L"ya");
    s.sim.SetSetting(L"Restart", L"2");
    EXPECT_TRUE(s.Tick());
    EXPECT_TRUE(s.sim.terminated.empty());
    EXPECT_TRUE(s.sim.messages.empty());
}

TEST_F(CheckCycle, CommandsDoNotEndAWorkerWhoseWindowWasNeverFound) {
    Supervisor late;
    late.sim.Behaviour(L"TULVAN.EXE").createsWindow = false;
    ASSERT_TRUE(late.Load());
    late.sim.SetSetting(L"ShutDown", L"1");
    EXPECT_FALSE(late.Tick());
    EXPECT_TRUE(late.sim.IsRunning(late.Slot(SlotId::TULVAN).Pid));
    EXPECT_EQ(late.sim.terminated.size(), 2u);
}

// --- hang watch ---

TEST_F(CheckCycle, AnsweringWorkersKeepTheirCountersAtZero) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(s.Tick());
    for (SlotId id : zorpa::ProbeOrder) EXPECT_EQ(s.Slot(id).MissCounter, 0);
    EXPECT_EQ(s.sim.starts.size(), 4u);
}

TEST_F(CheckCycle, AnAnswerClearsTheMissesBeforeIt) {
    Threshold(L"2");
    const zorpa::WindowHandle gandro = s.Slot(SlotId::GANDRO).Window;
    s.sim.Hang(gandro);
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Slot(SlotId::GANDRO).MissCounter, 1);
    s.sim.Resume(gandro);  // it was only busy for a while
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Slot(SlotId::GANDRO).MissCounter, 0);
    s.sim.Hang(gandro);
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Slot(SlotId::GANDRO).MissCounter, 1);
    EXPECT_EQ(s.sim.starts.size(), 4u);  // miss, answer, miss is not two misses in a row
    EXPECT_TRUE(s.sim.terminated.empty());
}

TEST_F(CheckCycle, HungWorkerIsRestartedHiddenAfterThresholdMisses) {
    Threshold(L"3");
    HangWorker(SlotId::FENDA_TICKETS);
    const zorpa::ProgramSlot old = s.Slot(SlotId::FENDA_TICKETS);
    ASSERT_TRUE(s.Tick());
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Slot(SlotId::FENDA_TICKETS).MissCounter, 2);
    EXPECT_EQ(s.sim.starts.size(), 4u);

    ASSERT_TRUE(s.Tick());
    const zorpa::ProgramSlot& now = s.Slot(SlotId::FENDA_TICKETS);
    EXPECT_FALSE(s.sim.IsRunning(old.Pid));
    ASSERT_EQ(s.sim.starts.size(), 5u);
    EXPECT_EQ(s.sim.starts[4].path, s.PathOf(SlotId::FENDA_TICKETS));
    EXPECT_EQ(s.sim.starts[4].showStyle, 0);
    EXPECT_EQ(now.Pid, s.sim.starts[4].id);
    EXPECT_NE(now.Window, old.Window);
    EXPECT_EQ(now.Window, s.sim.WindowsOf(now.Pid).at(0));
    EXPECT_EQ(now.MissCounter, 0);
}

TEST_F(CheckCycle, ResetBetweenMissesPreventsTheRestart) {
    Threshold(L"2");
    for (SlotId id : zorpa::ProbeOrder) HangWorker(id);
    s.form->ReplaceAttempts = 4;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(s.Tick());
        ASSERT_TRUE(s.Reset());
    }
    EXPECT_EQ(s.sim.starts.size(), 4u);
    for (SlotId id : zorpa::ProbeOrder) EXPECT_EQ(s.Slot(id).MissCounter, 0);
    EXPECT_EQ(s.form->ReplaceAttempts, 4);
}

TEST_F(CheckCycle, ThresholdOfOneZeroOrBelowRestartsOnTheFirstMiss) {
    for (const wchar_t* value : {L"1", L"0", L"-3"}) {
        Supervisor fresh;
        ASSERT_TRUE(fresh.Load());
        fresh.sim.SetSetting(L"AjusteZORPA", value);
        fresh.sim.Hang(fresh.Slot(SlotId::TULVAN).Window);
        ASSERT_TRUE(fresh.Tick());
        EXPECT_EQ(fresh.sim.starts.size(), 5u) << fresh.sim.Narrow(value);
        EXPECT_EQ(fresh.Slot(SlotId::TULVAN).MissCounter, 0);
    }
}

TEST_F(CheckCycle, FailedRestartShowsTheMessageAndSkipsTheLaterWorkers) {
    Threshold(L"1");
    HangWorker(SlotId::FENDA_IMPRESION);
    s.sim.RemoveFile(s.PathOf(SlotId::FENDA_IMPRESION));
    const zorpa::WindowHandle tickets = s.Slot(SlotId::FENDA_TICKETS).Window;
    EXPECT_FALSE(s.Tick());
    ASSERT_EQ(s.sim.messages.size(), 1u);
    EXPECT_EQ(s.sim.messages[0].prompt, L"Fenda! Errores en la instalacion, llame a soporte!");
    EXPECT_EQ(s.sim.messages[0].title, L"ZORPA");
    EXPECT_EQ(s.sim.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(s.sim.sends.count(tickets), 0u);
    EXPECT_TRUE(Running(SlotId::GANDRO));
}

TEST_F(CheckCycle, WorkerWithoutAWindowGetsASecondInstanceAtTheThreshold) {
    Supervisor late;
    late.sim.Behaviour(L"GANDRO.EXE").createsWindow = false;
    ASSERT_TRUE(late.Load());
    late.sim.SetSetting(L"AjusteZORPA", L"2");
    const std::size_t sendsBefore = late.sim.sends.size();
    ASSERT_TRUE(late.Tick());
    EXPECT_EQ(late.Slot(SlotId::GANDRO).MissCounter, 1);
    ASSERT_TRUE(late.Tick());
    EXPECT_EQ(late.sim.RunningFrom(L"GANDRO.EXE").size(), 2u);
    EXPECT_EQ(late.Slot(SlotId::GANDRO).Window, 0u);
    EXPECT_EQ(late.sim.sends.count(0), 0u);
    EXPECT_EQ(late.sim.sends.size(), sendsBefore + 3);  // only the other three were probed
}

TEST_F(CheckCycle, RestartedWorkerThatIsGoneIsStartedAgain) {
    Threshold(L"1");
    s.sim.ExitProcess(s.Slot(SlotId::TULVAN).Pid);  // crashed
    ASSERT_TRUE(s.Tick());
    EXPECT_TRUE(Running(SlotId::TULVAN));
    EXPECT_EQ(s.sim.starts.back().showStyle, 0);
}

// --- one cycle at a time ---

TEST_F(CheckCycle, TickDuringAnOpenMessageBoxIsIgnored) {
    Threshold(L"1");
    HangWorker(SlotId::GANDRO);
    s.sim.RemoveFile(s.PathOf(SlotId::GANDRO));
    std::size_t startsDuringBox = 0;
    int sendsDuringBox = 0;
    s.sim.whileMessageShown = [&](const sim::MessageRecord&) {
        const std::size_t starts = s.sim.starts.size();
        const int sends = TotalSends();
        s.form->DispatchTimer(zorpa::tmrCheck.id);
        startsDuringBox = s.sim.starts.size() - starts;
        sendsDuringBox = TotalSends() - sends;
    };
    EXPECT_FALSE(s.Tick());
    EXPECT_EQ(s.sim.messages.size(), 1u);
    EXPECT_EQ(startsDuringBox, 0u);
    EXPECT_EQ(sendsDuringBox, 0);
    // Once that cycle is over, ticks run cycles again.
    s.sim.whileMessageShown = nullptr;
    s.ended = false;
    const int before = TotalSends();
    s.Tick();
    EXPECT_GT(TotalSends(), before);
}

TEST(OneHandlerAtATime, TickDuringTheLoadsMessageBoxStartsNothing) {
    Supervisor s;
    s.sim.SetSetting(L"AjusteZORPA", L"1");
    s.sim.RemoveFile(s.PathOf(SlotId::FENDA_TICKETS));
    s.sim.whileMessageShown = [&](const sim::MessageRecord&) {
        s.form->DispatchTimer(zorpa::tmrCheck.id);
        s.form->DispatchTimer(zorpa::tmrReset.id);
    };
    EXPECT_FALSE(s.Load());
    EXPECT_EQ(s.sim.starts.size(), 2u);
    EXPECT_TRUE(s.sim.sends.empty());
}

TEST_F(CheckCycle, UnknownTimerIdsDoNothing) {
    s.Slot(SlotId::GANDRO).MissCounter = 3;
    s.form->DispatchTimer(99);
    EXPECT_EQ(s.Slot(SlotId::GANDRO).MissCounter, 3);
    EXPECT_EQ(s.sim.sends.size(), 0u);
}

}  // namespace
