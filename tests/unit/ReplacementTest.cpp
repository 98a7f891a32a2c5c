#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ProgramImages.h"
#include "Supervisor.h"

using zorpa::SlotId;

namespace {

struct Replacement : ::testing::Test {
    Supervisor s;
    const std::wstring server = L"\\\\SERVIDOR\\Nuevos";

    void SetUp() override {
        ASSERT_TRUE(s.Load());
        s.sim.SetSetting(L"RemplazarProgramas", L"1");
    }
    void Offer(const wchar_t* file, const std::string& version = "v2") {
        s.sim.AddFile(server + file, version);
    }
    std::string Installed(SlotId id) { return s.sim.File(s.PathOf(id))->content; }
    // Copies from the server (not the worker's own file kept beside it).
    std::size_t CopiesSoFar() {
        std::size_t copies = 0;
        for (const std::string& event : s.sim.events)
            copies += event.rfind("copy", 0) == 0 && event.find("NEW.EXE to") != std::string::npos;
        return copies;
    }
};

TEST_F(Replacement, NothingOfferedTouchesNoWorkerAndClearsTheFlag) {
    ASSERT_TRUE(s.Tick());
    EXPECT_TRUE(s.sim.terminated.empty());
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
}

TEST_F(Replacement, NewWorkerIsInstalledAndStartedByTheHangWatch) {
    s.sim.SetSetting(L"AjusteZORPA", L"2");
    s.form->ReplaceAttempts = 1;
    Offer(L"\\TULVANNEW.EXE");
    const zorpa::ProcessId old = s.Slot(SlotId::TULVAN).Pid;
    const std::size_t before = s.sim.events.size();
    ASSERT_TRUE(s.Tick());

    // Copied beside the worker while it still runs, the old version kept whole under a name of
    // its own; then ended and replaced in one rename.
    EXPECT_EQ(std::vector<std::string>(s.sim.events.begin() + before, s.sim.events.end()),
              (std::vector<std::string>{"copy TULVANNEW.EXE to TULVAN.EXE.new",
                                        "copy TULVAN.EXE to TULVAN.EXE.old.new",
                                        "move TULVAN.EXE.old.new to TULVAN.EXE.old",
                                        "terminate TULVAN.EXE", "move TULVAN.EXE.new to TULVAN.EXE",
                                        "write RemplazarProgramas=0"}));
    EXPECT_FALSE(s.sim.IsRunning(old));
    EXPECT_EQ(Installed(SlotId::TULVAN), "v2");
    EXPECT_EQ(Installed(SlotId::FENDA_TICKETS), "v1");
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
    EXPECT_TRUE(s.sim.File(server + L"\\TULVANNEW.EXE"));  // the server keeps its files

    ASSERT_TRUE(s.Tick());  // second miss: started again, hidden, the new version
    const sim::SimProcess* now = s.sim.Process(s.Slot(SlotId::TULVAN).Pid);
    ASSERT_NE(now, nullptr);
    EXPECT_TRUE(now->running);
    EXPECT_EQ(now->version, "v2");
    EXPECT_EQ(now->showStyle, 0);
}

TEST_F(Replacement, WorkersAreReplacedInTheirOwnOrder) {
    Offer(L"\\FENDA_TICKETSNEW.EXE");
    Offer(L"\\FENDA_IMPRESIONNEW.EXE");
    Offer(L"\\TULVANNEW.EXE");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.sim.terminated,
              (std::vector<zorpa::ProcessId>{s.sim.starts[3].id, s.sim.starts[1].id, s.sim.starts[2].id}));
    EXPECT_EQ(Installed(SlotId::GANDRO), "v1");
}

TEST_F(Replacement, FailingCopyIsCountedUntilTheThresholdThenTheFlagIsOnlyCleared) {
    Offer(L"\\FENDA_IMPRESIONNEW.EXE");
    s.sim.SetReadOnly(s.PathOf(SlotId::FENDA_IMPRESION), true);
    for (int cycle = 1; cycle <= 10; ++cycle) {
        ASSERT_TRUE(s.Tick());
        EXPECT_EQ(s.form->ReplaceAttempts, cycle);
        EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"1");
    }
    const std::size_t terminations = s.sim.terminated.size();
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(s.form->ReplaceAttempts, 10);
    EXPECT_EQ(Installed(SlotId::FENDA_IMPRESION), "v1");

    s.sim.SetSetting(L"RemplazarProgramas", L"1");
    s.sim.SetReadOnly(s.PathOf(SlotId::FENDA_IMPRESION), false);
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(Installed(SlotId::FENDA_IMPRESION), "v1");
    // The hang watch restarted the killed worker; the replacement step killed nothing more.
    EXPECT_EQ(s.sim.terminated.size(), terminations);

    s.sim.SetSetting(L"AjusteZORPA", L"11");  // raising the threshold turns it back on
    s.sim.SetSetting(L"RemplazarProgramas", L"1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(Installed(SlotId::FENDA_IMPRESION), "v2");
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
}

// The worker is started again meanwhile, so that no cycle leaves it down.
TEST_F(Replacement, CopyBlockedByTheEndingProgramSucceedsInALaterCycle) {
    // Longer than the step waits for it.
    s.sim.exitDelayMs = 2 * zorpa::frmZORPA::UpdateWaitMs;
    Offer(L"\\TULVANNEW.EXE");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.form->ReplaceAttempts, 1);
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"1");
    EXPECT_TRUE(s.sim.IsRunning(s.Slot(SlotId::TULVAN).Pid));
    s.sim.Advance(s.sim.exitDelayMs);
    s.sim.exitDelayMs = 0;
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(Installed(SlotId::TULVAN), "v2");
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
}

// Whichever step fails, the folder keeps the whole old program and no temporary file, and one
// attempt is counted; a server that cannot be read or a full disk does not even end the worker.
TEST_F(Replacement, FailureAtAnyStepKeepsTheOldFileWholeAndCountsOneAttempt) {
    const std::wstring source = server + L"\\TULVANNEW.EXE";
    namespace Error = zorpa::ErrorNumber;
    const struct {
        const char* step;
        std::function<void(sim::SimPlatform&)> fault;
        bool workerEnded;
    } cases[] = {
        {"server drops",  // 64: Windows' ERROR_NETNAME_DELETED
         [&](auto& sim) { sim.FailReading(source, {Error::DeviceUnavailable, L"", 64}); }, false},
        {"size mismatch",
         [&](auto& sim) { sim.FailReading(source, {Error::PathFileAccess, L""}); }, false},
        {"disk full", [](auto& sim) { sim.spaceLeft = 1; }, false},
        {"grows while read", [&](auto& sim) { sim.GrowWhileRead(source, "more"); }, false},
        {"not a whole program",
         [&](auto& sim) { sim.AddRawFile(source, sim::BuildImage({}).substr(0, 900)); }, false},
        {"not from the worker's publisher",
         [](auto& sim) {
             sim.SetSignature(sim.folder + L"\\TULVAN.EXE",
                              {zorpa::SignatureState::Intact, L"P", L"CN=P", L"AA01", false});
         },
         false},
        {"previous version cannot be kept",
         [](auto& sim) {
             sim.AddFile(sim.folder + L"\\TULVAN.EXE", std::string(100, '1'));
             sim.spaceLeft = 50;
         },
         false},
        {"rename refused", [](auto& sim) { sim.SetReadOnly(sim.folder + L"\\TULVAN.EXE", true); },
         true},
        {"target still held", [](auto& sim) { sim.exitDelayMs = 60000; }, true},
        {"a later worker's file refused",
         [](auto& sim) {
             sim.AddRawFile(L"\\\\SERVIDOR\\Nuevos\\FENDA_TICKETSNEW.EXE", "MZ");
         },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Supervisor t;
        ASSERT_TRUE(t.Load());
        t.sim.SetSetting(L"RemplazarProgramas", L"1");
        t.sim.AddFile(source, "v2");
        c.fault(t.sim);
        ASSERT_TRUE(t.Tick());
        EXPECT_NE(t.sim.File(t.PathOf(SlotId::TULVAN))->content, "v2");
        EXPECT_FALSE(t.sim.File(t.PathOf(SlotId::TULVAN) + L".new"));
        EXPECT_FALSE(t.sim.File(t.PathOf(SlotId::TULVAN) + L".old"));
        EXPECT_EQ(t.form->ReplaceAttempts, 1);
        EXPECT_EQ(t.Flag(L"RemplazarProgramas"), L"1");
        EXPECT_EQ(t.sim.terminated.size(), c.workerEnded ? 1u : 0u);
        EXPECT_LE(t.sim.sleptMs + t.sim.waitedForEndMs, zorpa::frmZORPA::UpdateWaitMs);
        for (SlotId id : zorpa::StartOrder)  // a worker ended for it was started again
            EXPECT_TRUE(t.sim.IsRunning(t.Slot(id).Pid)) << zorpa::InfoOf(id).file;
    }
}

// A rename that fails once other workers were replaced starts every worker the step ended again,
// the new version as the old; the next cycle installs only what is still missing.
TEST_F(Replacement, ARenameThatFailsStartsAgainEveryWorkerTheStepEnded) {
    Offer(L"\\TULVANNEW.EXE");
    Offer(L"\\FENDA_TICKETSNEW.EXE");
    s.sim.FailFile(s.PathOf(SlotId::FENDA_TICKETS), 5);
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.form->ReplaceAttempts, 1);
    EXPECT_EQ(s.sim.terminated.size(), 2u);
    for (SlotId id : zorpa::StartOrder) EXPECT_TRUE(s.sim.IsRunning(s.Slot(id).Pid));
    EXPECT_EQ(s.sim.Process(s.Slot(SlotId::TULVAN).Pid)->version, "v2");
    EXPECT_EQ(s.sim.Process(s.Slot(SlotId::TULVAN).Pid)->showStyle, 0);
    EXPECT_EQ(Installed(SlotId::FENDA_TICKETS), "v1");

    s.sim.FailFile(s.PathOf(SlotId::FENDA_TICKETS), 0);
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(Installed(SlotId::FENDA_TICKETS), "v2");
    EXPECT_EQ(s.sim.terminated.size(), 3u);  // TULVAN already is the new version
}

// Every instance this supervisor started from the worker's file holds it, whether or not its
// window was found: each is ended for the update.
TEST(ReplacementWithoutWindows, EveryInstanceOfTheWorkerIsEndedForItsUpdate) {
    Supervisor t;
    t.sim.Behaviour(L"TULVAN.EXE").createsWindow = false;
    t.sim.SetSetting(L"AjusteZORPA", L"1");
    ASSERT_TRUE(t.Load());
    ASSERT_TRUE(t.Tick());  // no window: a second instance beside the first
    ASSERT_EQ(t.sim.RunningFrom(L"TULVAN.EXE").size(), 2u);
    t.sim.AddFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE", "v2");
    t.sim.SetSetting(L"RemplazarProgramas", L"1");
    ASSERT_TRUE(t.Tick());
    EXPECT_EQ(t.sim.File(t.PathOf(SlotId::TULVAN))->content, "v2");
    EXPECT_EQ(t.form->ReplaceAttempts, 0);
}

// A new version on trial: whatever it does, TULVAN runs again, the kept previous version
// stays only while the new one has not come through, and nothing is shown to the user.
TEST(VersionTrial, ABadNewVersionIsRolledBackAndAGoodOneConfirmed) {
    const auto ticks = [](Supervisor& s, int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(s.Tick());
    };
    // Threshold 2: the new version's first instance starts in the cycle after the install.
    const auto install = [&](Supervisor& s) {
        s.sim.SetSetting(L"RemplazarProgramas", L"1");
        s.sim.AddFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE", "v2");
        ticks(s, 1);
    };
    const auto started = [&](Supervisor& s) { install(s), ticks(s, 1); };
    // Three cycles over a minute.
    const auto aMinute = [&](Supervisor& s) {
        ticks(s, 1);
        for (int i = 0; i < 2; ++i) s.sim.Advance(30000), ticks(s, 1);
    };
    const auto onTrial = [](Supervisor& s) {  // as a supervisor that was restarted finds it
        s.sim.AddFile(s.PathOf(SlotId::TULVAN), "v2");
        s.sim.AddFile(s.PathOf(SlotId::TULVAN) + L".old", "v1");
    };
    const auto fault = [](sim::VersionFault f) {
        return [f](Supervisor& s) { s.sim.versionFaults["v2"] = f; };
    };
    // The worker's instance ends by itself (after it answered once), three times over.
    const auto endsThrice = [&](Supervisor& s, int answers) {
        for (int i = 0; i < 3; ++i) {
            ticks(s, answers);
            s.sim.ExitProcess(s.Slot(SlotId::TULVAN).Pid);
            ticks(s, 2);
        }
    };
    const struct {
        const char* name;
        std::function<void(Supervisor&)> prepare, act;  // before and after the start-up
        std::string installed;                          // TULVAN.EXE afterwards
        bool kept;                                      // TULVAN.EXE.old afterwards
        std::size_t newStarts;                          // instances started from v2
    } cases[] = {
        {"not yet started", {}, [&](Supervisor& s) { install(s); }, "v2", true, 0},
        {"answers", {}, [&](Supervisor& s) { started(s), aMinute(s); }, "v2", false, 1},
        {"answers in three cycles, not yet for a minute", {},
         [&](Supervisor& s) { started(s), ticks(s, 3); }, "v2", true, 1},
        {"answers for a minute, in two cycles", {},
         [&](Supervisor& s) { started(s), ticks(s, 1), s.sim.Advance(90000), ticks(s, 1); }, "v2",
         true, 1},
        {"answers, then hangs: an ordinary restart", {},
         [&](Supervisor& s) {
             started(s), aMinute(s);
             s.sim.Hang(s.Slot(SlotId::TULVAN).Window);
             ticks(s, 2);
         },
         "v2", false, 2},
        {"answers once, then ends, three times", {},
         [&](Supervisor& s) { started(s), endsThrice(s, 1); }, "v1", false, 3},
        {"cannot be started", fault(sim::VersionFault::WontStart),
         [&](Supervisor& s) { started(s), ticks(s, 2); }, "v1", false, 0},
        {"ends at once, three times", fault(sim::VersionFault::EndsAtOnce),
         [&](Supervisor& s) { started(s), ticks(s, 8); }, "v1", false, 3},
        {"its window found too late, three times", fault(sim::VersionFault::WindowLate),
         [&](Supervisor& s) { started(s), ticks(s, 6); }, "v1", false, 3},
        {"held for a moment when it is started", {},
         [&](Supervisor& s) {
             install(s);
             s.sim.FailNextStarts(s.PathOf(SlotId::TULVAN), 32, 2);
             ticks(s, 1);
         },
         "v2", true, 1},
        {"cannot be started, the worker's file hidden",
         [&](Supervisor& s) {
             s.sim.SetHidden(s.PathOf(SlotId::TULVAN));
             fault(sim::VersionFault::WontStart)(s);
         },
         [&](Supervisor& s) { started(s); }, "v1", false, 0},
        {"start-up, answers", onTrial, aMinute, "v2", false, 1},
        {"start-up, cannot be started",
         [&](Supervisor& s) { onTrial(s), fault(sim::VersionFault::WontStart)(s); }, {}, "v1",
         false, 0},
        {"start-up, the kept copy cut short by a crash",
         [](Supervisor& s) {
             s.sim.AddRawFile(s.PathOf(SlotId::TULVAN) + L".old", sim::BuildImage({}).substr(0, 900));
         },
         [&](Supervisor& s) { endsThrice(s, 0); }, "v1", false, 0},
        {"start-up, the kept copy the same as the worker",
         [](Supervisor& s) { s.sim.AddFile(s.PathOf(SlotId::TULVAN) + L".old", "v1"); }, {}, "v1",
         false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Supervisor s;
        s.sim.SetSetting(L"AjusteZORPA", L"2");
        if (c.prepare) c.prepare(s);
        ASSERT_TRUE(s.Load());
        if (c.act) c.act(s);
        EXPECT_EQ(s.sim.File(s.PathOf(SlotId::TULVAN))->content, c.installed);
        EXPECT_EQ(s.sim.File(s.PathOf(SlotId::TULVAN) + L".old").has_value(), c.kept);
        std::size_t newStarts = 0;
        for (const auto& start : s.sim.starts)
            newStarts += start.path == s.PathOf(SlotId::TULVAN) &&
                         s.sim.Process(start.id)->version == "v2";
        EXPECT_EQ(newStarts, c.newStarts);
        EXPECT_TRUE(s.sim.messages.empty());
        if (c.newStarts > 0 || c.installed == "v1") {
            const auto running = s.sim.RunningFrom(L"TULVAN.EXE");
            EXPECT_EQ(running.size(), 1u);
            if (!running.empty()) {
                EXPECT_EQ(running[0]->version, c.installed);
            }
        }
    }
}

// A worker installed in a cycle that then fails on another is not installed again: the failures
// add up to the threshold, the request is given up and the cycle's other steps run again.
TEST_F(Replacement, AWorkerAlreadyInstalledIsNotCopiedAgainNorSetsTheCountBack) {
    s.sim.SetSetting(L"AjusteZORPA", L"3");
    Offer(L"\\TULVANNEW.EXE");
    Offer(L"\\FENDA_IMPRESIONNEW.EXE");
    s.sim.SetReadOnly(s.PathOf(SlotId::FENDA_IMPRESION), true);
    for (int cycle = 1; cycle <= 3; ++cycle) {
        ASSERT_TRUE(s.Tick());
        EXPECT_EQ(s.form->ReplaceAttempts, cycle);
    }
    s.sim.SetSetting(L"Restart", L"1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(s.Flag(L"Restart"), L"0");
    EXPECT_EQ(Installed(SlotId::TULVAN), "v2");
    const auto& events = s.sim.events;
    EXPECT_EQ(std::count(events.begin(), events.end(), "move TULVAN.EXE.new to TULVAN.EXE"), 1);
}

// A supervisor that the site started as its staged new version is that version: offered again,
// it is nothing to stage, and the supervisor runs on. (A newer one is refused before any worker
// is ended; the seeded runs show that.)
TEST(ReplacementOwnFile, ASupervisorRunningAsItsNewVersionIsAlreadyThatVersion) {
    Supervisor s;
    s.sim.programFile = L"ZORPANEW.EXE";
    s.sim.AddFile(s.sim.folder + L"\\ZORPANEW.EXE", "zorpa-2");
    ASSERT_TRUE(s.Load());
    for (const wchar_t* file : {L"\\ZORPA.EXE", L"\\ZORPANEW.EXE"})
        s.sim.AddFile(L"\\\\SERVIDOR\\Nuevos" + std::wstring(file), "zorpa-2");
    s.sim.SetSetting(L"RemplazarProgramas", L"1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(s.sim.ownFileChanges, 0);
    const std::string record = s.sim.File(s.sim.folder + L"\\ZORPA.log")->content;
    EXPECT_NE(record.find("ZORPA already is the version in \\\\SERVIDOR\\Nuevos\\ZORPANEW.EXE: "
                          "nothing to stage"),
              std::string::npos)
        << record;
}

// Ended workers are waited for, within about two seconds per step in all: a worker that has
// not let go of its file by then is replaced in a later cycle.
TEST_F(Replacement, EndedWorkersAreWaitedForWithinTheStepsBound) {
    s.sim.exitDelayMs = 900;
    for (SlotId id : zorpa::ReplaceOrder) Offer(zorpa::InfoOf(id).replacement);
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.sim.sleptMs + s.sim.waitedForEndMs, zorpa::frmZORPA::UpdateWaitMs);
    EXPECT_EQ(Installed(SlotId::FENDA_IMPRESION), "v2");
    EXPECT_EQ(Installed(SlotId::FENDA_TICKETS), "v1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(Installed(SlotId::FENDA_TICKETS), "v2");
}

// Leftovers of an interrupted update go at start-up and before the next copy, by our own
// fixed names only.
TEST(ReplacementLeftovers, AreDeletedByTheirOwnNamesOnly) {
    Supervisor t;
    for (const wchar_t* name : {L"\\TULVAN.EXE.new", L"\\ZORPANEW.EXE.new", L"\\GANDRO.EXE.new"})
        t.sim.AddFile(t.sim.folder + name, "part");
    ASSERT_TRUE(t.Load());
    EXPECT_FALSE(t.sim.File(t.sim.folder + L"\\TULVAN.EXE.new"));
    EXPECT_FALSE(t.sim.File(t.sim.folder + L"\\ZORPANEW.EXE.new"));
    EXPECT_TRUE(t.sim.File(t.sim.folder + L"\\GANDRO.EXE.new"));  // not an update of ours
    t.sim.AddFile(t.sim.folder + L"\\TULVAN.EXE.new", "part");
    t.sim.AddFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE", "v2");
    t.sim.SetSetting(L"RemplazarProgramas", L"1");
    const std::size_t before = t.sim.events.size();
    ASSERT_TRUE(t.Tick());
    EXPECT_EQ(t.sim.events.at(before), "delete TULVAN.EXE.new");
}

TEST_F(Replacement, ServerThatCannotBeListedCountsAnAttemptAndSkipsTheRestOfTheCycle) {
    s.sim.FailListing(server);
    s.sim.SetSetting(L"ShutDown", L"1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.form->ReplaceAttempts, 1);
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"1");
    EXPECT_TRUE(s.sim.sends.empty());
    EXPECT_TRUE(s.sim.terminated.empty());
}

TEST_F(Replacement, ErrorAfterTheStepIsCountedWithTheFlagAlreadyCleared) {
    s.sim.SetSetting(L"Restart", L"1");
    s.sim.FailWritesOf(L"Restart");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.form->ReplaceAttempts, 1);
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_TRUE(s.sim.sends.empty());  // the hang watch did not run
    EXPECT_TRUE(s.sim.messages.empty());

    // Without the replace flag nothing handles it: reported once, and the supervisor ends.
    EXPECT_FALSE(s.Tick());
    ASSERT_EQ(s.sim.messages.size(), 1u);
    EXPECT_EQ(s.sim.messages[0].icon, zorpa::MessageIcon::Critical);
}

TEST_F(Replacement, OwnNewVersionIsCopiedBesideTheSupervisorWhichThenEnds) {
    Offer(L"\\TULVANNEW.EXE");
    Offer(L"\\ZORPA.EXE", "zorpa-current");
    Offer(L"\\ZORPANEW.EXE", "zorpa-new");
    EXPECT_FALSE(s.Tick());
    EXPECT_EQ(s.sim.File(s.sim.folder + L"\\ZORPANEW.EXE")->content, "zorpa-new");
    EXPECT_FALSE(s.sim.File(s.sim.folder + L"\\ZORPA.EXE"));  // its own file is never replaced
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"1");
    EXPECT_FALSE(s.sim.IsRunning(s.Slot(SlotId::TULVAN).Pid));
    EXPECT_TRUE(s.sim.IsRunning(s.Slot(SlotId::GANDRO).Pid));
    EXPECT_TRUE(s.sim.File(server + L"\\ZORPANEW.EXE"));
}

TEST_F(Replacement, MarkerWithoutANewSupervisorIsNothingToInstall) {
    Offer(L"\\ZORPA.EXE");
    Offer(L"\\TULVANNEW.EXE");
    s.sim.SetSetting(L"Restart", L"1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(s.Flag(L"Restart"), L"0");  // the rest of the cycle ran
    EXPECT_FALSE(s.sim.File(s.sim.folder + L"\\ZORPANEW.EXE"));
    EXPECT_EQ(CopiesSoFar(), 1u);
}

TEST_F(Replacement, NewSupervisorWithoutTheMarkerIsNothingToInstall) {
    Offer(L"\\ZORPANEW.EXE", "zorpa-new");
    ASSERT_TRUE(s.Tick());
    EXPECT_FALSE(s.sim.File(s.sim.folder + L"\\ZORPANEW.EXE"));
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
    EXPECT_EQ(CopiesSoFar(), 0u);
}

TEST_F(Replacement, ThresholdZeroTurnsTheStepOff) {
    s.sim.SetSetting(L"AjusteZORPA", L"0");
    Offer(L"\\TULVANNEW.EXE");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(Installed(SlotId::TULVAN), "v1");
    EXPECT_EQ(CopiesSoFar(), 0u);
}

TEST_F(Replacement, UnreadableReplaceFlagIsNotARequest) {
    s.sim.SetSetting(L"RemplazarProgramas", L"x");
    Offer(L"\\TULVANNEW.EXE");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(CopiesSoFar(), 0u);
    EXPECT_EQ(s.Flag(L"RemplazarProgramas"), L"x");
    EXPECT_EQ(s.form->ReplaceAttempts, 0);
}

}  // namespace
