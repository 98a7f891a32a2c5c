#include <gtest/gtest.h>

#include "CallDlls.h"
#include "SimPlatform.h"
#include "Supervisor.h"

using zorpa::CallDlls;
using zorpa::MessageIcon;
using zorpa::ProcessId;
using zorpa::WindowHandle;

namespace {

struct CallDllsTest : ::testing::Test {
    sim::SimPlatform sim;
    CallDlls module{sim};
    std::wstring worker = sim.folder + L"\\GANDRO.EXE";

    CallDllsTest() { sim.AddWorkers(); }

    ProcessId Launch(WindowHandle& window, int style = 6) {
        return module.LaunchProgram(worker, window, style);
    }
    // Milliseconds one probe takes on the simulated clock.
    std::uint64_t TimeProbe(WindowHandle window, ProcessId pid, bool& answered) {
        const std::uint64_t start = sim.NowMs();
        answered = module.IsProgramResponding(window, pid);
        return sim.NowMs() - start;
    }
};

// --- starting a program ---

TEST_F(CallDllsTest, BlankPathShowsInvalidPathAndStartsNothing) {
    WindowHandle window = 0x777;
    EXPECT_EQ(module.LaunchProgram(L"   ", window, 6), -1);
    EXPECT_EQ(window, 0x777u);
    ASSERT_EQ(sim.messages.size(), 1u);
    EXPECT_EQ(sim.messages[0].prompt, L"El Path \"\" no es valido.");
    EXPECT_EQ(sim.messages[0].title, L"Invalid Path");
    EXPECT_EQ(sim.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(sim.starts.empty());
}

TEST_F(CallDllsTest, MissingFileFailsSilentlyAndKeepsTheWindowArgument) {
    WindowHandle window = 0x777;
    EXPECT_EQ(module.LaunchProgram(sim.folder + L"\\NADA.EXE", window, 6), -1);
    EXPECT_EQ(window, 0x777u);
    EXPECT_TRUE(sim.messages.empty());
}

TEST_F(CallDllsTest, StartReturnsTheNewProcessAndItsTopmostWindow) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window, 3);
    ASSERT_NE(pid, -1);
    EXPECT_EQ(module.TargetProcessId, pid);
    EXPECT_EQ(sim.starts.at(0).showStyle, 3);
    EXPECT_EQ(sim.starts.at(0).path, worker);
    EXPECT_EQ(sim.waitsForReady, 1u);
    EXPECT_EQ(window, sim.WindowsOf(pid).at(0));
    EXPECT_EQ(module.FoundWindow, window);

    // Of a program with two top-level windows, the one on top of the z-order.
    sim.Behaviour(L"TULVAN.EXE").windows = 2;
    WindowHandle tulvan = 0;
    const ProcessId tulvanPid = module.LaunchProgram(sim.folder + L"\\TULVAN.EXE", tulvan, 3);
    ASSERT_EQ(sim.WindowsOf(tulvanPid).size(), 2u);
    EXPECT_EQ(tulvan, sim.WindowsOf(tulvanPid).at(0));
}

TEST_F(CallDllsTest, ProgramWithoutAWindowYetGetsNoneNotAnEarlierWindow) {
    WindowHandle first = 0;
    Launch(first);
    ASSERT_NE(first, 0u);
    sim.Behaviour(L"TULVAN.EXE").createsWindow = false;
    WindowHandle second = 0x999;
    const ProcessId pid = module.LaunchProgram(sim.folder + L"\\TULVAN.EXE", second, 3);
    EXPECT_NE(pid, -1);
    EXPECT_EQ(second, 0u);
}

// --- probing a window ---

TEST_F(CallDllsTest, AnsweringWindowAnswersAfterOneSend) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    bool answered = false;
    TimeProbe(window, pid, answered);
    EXPECT_TRUE(answered);
    EXPECT_EQ(sim.sends[window], 1);
    EXPECT_EQ(module.FoundWindow, window);
    EXPECT_EQ(module.TargetProcessId, pid);
}

TEST_F(CallDllsTest, WindowZeroCostsNothing) {
    bool answered = true;
    EXPECT_EQ(TimeProbe(0, 1234, answered), 0u);
    EXPECT_FALSE(answered);
    EXPECT_TRUE(sim.sends.empty());
    EXPECT_EQ(module.TargetProcessId, 1234);
}

TEST_F(CallDllsTest, HungWindowCostsTwoToThreeSecondsAtAnyTimeOfDay) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.Hang(window);
    for (double phase : {0.0, 0.2, 0.49, 0.5, 0.51, 0.8, 0.999}) {
        sim.SetTimeOfDay(36000.0 + phase);
        bool answered = true;
        const std::uint64_t ms = TimeProbe(window, pid, answered);
        EXPECT_FALSE(answered);
        EXPECT_GE(ms, 2000u) << "phase " << phase;
        EXPECT_LE(ms, 3000u) << "phase " << phase;
    }
}

TEST_F(CallDllsTest, DestroyedWindowIsResentForHalfASecondToOneAndAHalf) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.DestroyWindow(window);
    // The deadline is the first send's return time plus one second, rounded to the whole
    // second: from half a second (phase .49) to one and a half (phase .51) after that send.
    const std::pair<double, std::uint64_t> phases[] = {
        {0.0, 1000}, {0.3, 700}, {0.49, 510}, {0.51, 1490}, {0.9, 1100}};
    for (const auto& [phase, expectedMs] : phases) {
        sim.SetTimeOfDay(36000.0 + phase);
        sim.sends.clear();
        bool answered = true;
        const std::uint64_t ms = TimeProbe(window, pid, answered);
        EXPECT_FALSE(answered);
        EXPECT_GE(ms + 1, expectedMs) << "phase " << phase;
        EXPECT_LE(ms, expectedMs + CallDlls::ResendPauseMs) << "phase " << phase;
        // Pauses between resends: about one send per pause, not thousands.
        EXPECT_LE(sim.sends[window], 1 + static_cast<int>(ms / CallDlls::ResendPauseMs));
        EXPECT_GT(sim.sends[window], 1);
    }
}

TEST_F(CallDllsTest, ProbeStaysBoundedAcrossMidnightAndAClockSetBack) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.DestroyWindow(window);

    sim.SetTimeOfDay(86399.5);  // the deadline lands on 86400, which the clock never reaches
    bool answered = true;
    EXPECT_LE(TimeProbe(window, pid, answered), 1500u + CallDlls::ResendPauseMs);
    EXPECT_FALSE(answered);

    sim.SetTimeOfDay(50000.0);
    bool setBack = false;
    sim.onSleep = [&] {
        if (!setBack) sim.SetTimeOfDay(50000.0 - 3600.0);
        setBack = true;
    };
    EXPECT_LE(TimeProbe(window, pid, answered), 1500u + CallDlls::ResendPauseMs);
    EXPECT_TRUE(setBack);
}

TEST_F(CallDllsTest, HungWindowAtMidnightStillEndsWithinThreeAndAHalfSeconds) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.Hang(window);
    sim.SetTimeOfDay(86398.6);  // first send returns at 86399.6: deadline 86401
    bool answered = true;
    EXPECT_LE(TimeProbe(window, pid, answered), 3500u);
    EXPECT_FALSE(answered);
}

// --- terminating a program ---

TEST_F(CallDllsTest, TerminatesTheInstanceStartedForTheSlotOnly) {
    WindowHandle gandro = 0;
    const ProcessId gandroPid = Launch(gandro);
    WindowHandle other = 0;
    const ProcessId otherPid = module.LaunchProgram(sim.folder + L"\\TULVAN.EXE", other, 3);

    module.KillProgram(gandro, gandroPid);
    EXPECT_FALSE(sim.IsRunning(gandroPid));
    EXPECT_EQ(module.FoundWindow, gandro);

    // A slot holding another worker's window ends its own instance, not that other worker:
    // a window that is not the slot's own counts as gone.
    WindowHandle again = 0;
    const ProcessId againPid = Launch(again);
    module.KillProgram(other, againPid);
    EXPECT_TRUE(sim.IsRunning(otherPid));
    EXPECT_FALSE(sim.IsRunning(againPid));
    EXPECT_EQ(module.FoundWindow, other);
}

TEST_F(CallDllsTest, WindowZeroTerminatesNothing) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    module.KillProgram(0, pid);
    EXPECT_TRUE(sim.IsRunning(pid));
    EXPECT_EQ(module.FoundWindow, 0u);
}

TEST_F(CallDllsTest, GoneWindowFallsBackToTheInstanceStartedForTheSlot) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.DestroyWindow(window);  // the program still runs, its window is gone
    module.KillProgram(window, pid);
    EXPECT_FALSE(sim.IsRunning(pid));
}

TEST_F(CallDllsTest, FallbackNeverHitsAProgramThatReusedTheId) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.ExitProcess(pid);
    sim.StartForeignProcess(pid);
    module.KillProgram(window, pid);
    EXPECT_TRUE(sim.IsRunning(pid));
    EXPECT_TRUE(sim.terminated.empty());

    // Nor a program this supervisor never started.
    const ProcessId stranger = sim.StartForeignProcess(4242);
    module.KillProgram(0xDEAD0, stranger);
    EXPECT_TRUE(sim.IsRunning(stranger));
}

// --- window handles that Windows gave to another program ---

struct WindowHandleReuse : CallDllsTest {
    // The shell, say: a program the supervisor never started.
    ProcessId shell = sim.StartForeignProcess(7000);
};

TEST_F(WindowHandleReuse, AReusedHandleIsNeverTerminated) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.ExitProcess(pid);  // the worker crashed; its window went with it
    sim.ReuseWindowHandle(window, shell);
    module.KillProgram(window, pid);
    EXPECT_TRUE(sim.IsRunning(shell));
    EXPECT_TRUE(sim.terminated.empty());

    // The worker still runs but destroyed its window, whose handle went to the shell: the
    // worker is ended as when its window is gone, the shell is not.
    WindowHandle second = 0;
    const ProcessId secondPid = Launch(second);
    sim.DestroyWindow(second);
    sim.ReuseWindowHandle(second, shell);
    module.KillProgram(second, secondPid);
    EXPECT_FALSE(sim.IsRunning(secondPid));
    EXPECT_TRUE(sim.IsRunning(shell));
    EXPECT_EQ(sim.terminated, std::vector<ProcessId>{secondPid});
}

TEST_F(WindowHandleReuse, AReusedHandleAndIdAreNeverTerminated) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.ExitProcess(pid);
    sim.StartForeignProcess(pid);
    sim.ReuseWindowHandle(window, pid);  // the same id and handle, another program
    module.KillProgram(window, pid);
    EXPECT_TRUE(sim.IsRunning(pid));
    EXPECT_TRUE(sim.terminated.empty());
}

TEST_F(WindowHandleReuse, AReusedHandleIsNotAnAnswerAndIsSentNothing) {
    WindowHandle window = 0;
    const ProcessId pid = Launch(window);
    sim.ExitProcess(pid);
    sim.ReuseWindowHandle(window, shell);
    bool answered = true;
    EXPECT_LE(TimeProbe(window, pid, answered), CallDlls::ResendPauseMs);
    EXPECT_FALSE(answered);
    EXPECT_EQ(sim.sends.count(window), 0u);

    // Given away while the probe resends to the destroyed window: the resends stop there.
    WindowHandle second = 0;
    const ProcessId secondPid = Launch(second);
    sim.DestroyWindow(second);
    int sendsBeforeReuse = -1;
    sim.onSleep = [&] {
        if (sendsBeforeReuse >= 0) return;
        sendsBeforeReuse = sim.sends[second];
        sim.ReuseWindowHandle(second, shell);
    };
    EXPECT_FALSE(module.IsProgramResponding(second, secondPid));
    EXPECT_EQ(sim.sends[second], sendsBeforeReuse);
}

TEST_F(WindowHandleReuse, CommandsAndTheHangWatchLeaveTheNewOwnerAlone) {
    Supervisor s;
    ASSERT_TRUE(s.Load());
    const ProcessId explorer = s.sim.StartForeignProcess(7000);
    s.sim.SetSetting(L"AjusteZORPA", L"2");
    const zorpa::ProgramSlot tulvan = s.Slot(zorpa::SlotId::TULVAN);
    s.sim.ExitProcess(tulvan.Pid);
    s.sim.ReuseWindowHandle(tulvan.Window, explorer);

    // The hang watch counts the reused window as not answering and restarts the worker.
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Slot(zorpa::SlotId::TULVAN).MissCounter, 1);
    ASSERT_TRUE(s.Tick());
    EXPECT_NE(s.Slot(zorpa::SlotId::TULVAN).Pid, tulvan.Pid);
    EXPECT_TRUE(s.sim.IsRunning(s.Slot(zorpa::SlotId::TULVAN).Pid));
    EXPECT_EQ(s.sim.sends.count(tulvan.Window), 0u);

    // FENDA_TICKETS's handle goes the same way; shutting down ends the workers, not explorer.
    const zorpa::ProgramSlot tickets = s.Slot(zorpa::SlotId::FENDA_TICKETS);
    s.sim.ExitProcess(tickets.Pid);
    s.sim.ReuseWindowHandle(tickets.Window, explorer);
    s.sim.SetSetting(L"ShutDown", L"1");
    EXPECT_FALSE(s.Tick());
    EXPECT_TRUE(s.sim.IsRunning(explorer));
    EXPECT_FALSE(s.sim.IsRunning(s.Slot(zorpa::SlotId::TULVAN).Pid));
    EXPECT_FALSE(s.sim.IsRunning(s.Slot(zorpa::SlotId::FENDA_IMPRESION).Pid));
}

}  // namespace
