// Long runs of a terminal whose events are drawn from a seed, the invariants checked after every
// one; the same seed gives the same run. ZORPA_SEEDS=N runs seeds 1 to N instead of the suite's,
// ZORPA_SEEDS=FIRST:N runs N seeds from FIRST (scripts/simulate.sh sets it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <functional>
#include <iostream>
#include <random>
#include <string>

#include "ErrorNumbers.h"
#include "ProgramImages.h"
#include "TerminalInvariants.h"

namespace {

using zorpa::SignatureState;
using zorpa::SlotId;

constexpr int StepsPerSeed = 2000;
constexpr std::uint32_t SuiteSeeds = 100;
constexpr std::size_t EventsShown = 30;

const std::wstring Server = L"\\\\SERVIDOR\\Nuevos";
const wchar_t* const Flags[] = {L"RemplazarProgramas", L"RemplazarProgramas",
                                L"RemplazarProgramas", L"RemplazarProgramas",
                                L"Restart", L"Restart", L"ShutDown", L"Exit"};
const wchar_t* const Thresholds[] = {L"1", L"2", L"3", L"10", L"x"};
const zorpa::SignatureFacts Signatures[] = {
    {},
    {SignatureState::Intact, L"Site Publisher", L"CN=Site Publisher", L"AA01", false},
    {SignatureState::Intact, L"Site Publisher", L"CN=Site Publisher", L"BB02", true},  // renewed
    {SignatureState::Intact, L"Other", L"CN=Other", L"DD04", true},
    {SignatureState::DoesNotMatch, L"Site Publisher", L"CN=Site Publisher", L"AA01", false},
};

class SeededRun {
public:
    explicit SeededRun(std::uint32_t seed) : random_(seed) {
        const zorpa::SignatureFacts& signer = Signatures[Roll(2)];
        for (SlotId id : zorpa::ReplaceOrder) s_.sim.SetSignature(s_.PathOf(id), signer);
        // A site that started the supervisor's staged new version.
        if (Roll(4) == 0) s_.sim.programFile = L"ZORPANEW.EXE";
        s_.sim.AddFile(s_.sim.folder + L"\\" + s_.sim.programFile, "zorpa-1");
        // Other programs go on while a message box is open and while a step waits.
        s_.sim.whileMessageShown = [this](const sim::MessageRecord&) { SetFlag(); };
        s_.sim.onSleep = [this] { if (Roll(20) == 0) SetFlag(); };
    }

    // The first invariant broken, with the events that led there; empty when all held.
    std::string Run() {
        s_.Load();
        std::string broken = check_.AfterStartUp();
        for (step_ = 1; step_ <= StepsPerSeed && broken.empty(); ++step_) broken = Step();
        // The events stop, and with them what Windows and other programs refused meanwhile; the
        // terminal settles with a small threshold.
        s_.sim.whileMessageShown = nullptr;
        s_.sim.onSleep = nullptr;
        s_.sim.spaceLeft.reset();
        for (SlotId id : zorpa::ReplaceOrder) s_.sim.FailFile(s_.PathOf(id), 0);
        for (zorpa::ProcessId id : foreign_)
            if (s_.sim.IsRunning(id) && s_.sim.Process(id)->path.empty()) s_.sim.ExitProcess(id);
        s_.sim.SetSetting(L"AjusteZORPA", L"2");
        for (int cycle = 0; cycle < 24 && broken.empty(); ++cycle)
            broken = Tick(30000, "quiet tick");
        if (broken.empty()) broken = check_.WhenQuiet();
        if (broken.empty()) return {};
        std::string report = "step " + std::to_string(step_) + ": " + broken + "\nlast events:";
        for (const std::string& event : recent_) report += "\n  " + event;
        return report;
    }

private:
    std::uint32_t Roll(std::uint32_t n) { return random_() % n; }
    SlotId AnySlot() { return static_cast<SlotId>(Roll(zorpa::SlotCount)); }
    SlotId Replaceable() { return zorpa::ReplaceOrder[Roll(3)]; }
    std::string Note(std::string event) {
        recent_.push_back(event);
        if (recent_.size() > EventsShown) recent_.pop_front();
        return event;
    }
    void SetFlag() { s_.sim.SetSetting(Flags[Roll(std::size(Flags))], L"1"); }

    // A cycle, then what it must leave; a supervisor that ended or lost its power starts again.
    std::string Tick(std::uint64_t pauseMs, const char* what) {
        Note(what);
        s_.sim.Advance(pauseMs);
        const std::uint64_t start = s_.sim.NowMs();
        s_.Tick();
        return Settle(s_.sim.NowMs() - start);
    }
    std::string Settle(std::uint64_t tickMs = 0) {
        std::string broken;
        if (s_.sim.Powered() && (broken = check_.AfterEvent(tickMs)).empty() && !s_.ended)
            return {};
        if (!broken.empty()) return broken;
        Note(s_.sim.Powered() ? "the site starts the supervisor again" : "power back, start-up");
        s_.PowerOn(60000);
        s_.Load();
        return check_.AfterStartUp();
    }

    // A new version on the server: whole, broken or unstartable, signed or not.
    std::string Offer() {
        const bool own = Roll(6) == 0;
        const std::wstring file =
            own ? L"\\ZORPANEW.EXE" : zorpa::InfoOf(Replaceable()).replacement;
        const std::string version = (own ? "zorpa-" : "v") + std::to_string(++versions_);
        const std::uint32_t kind = Roll(11);
        if (kind == 0) {
            s_.sim.AddRawFile(Server + file, sim::BuildImage({}).substr(0, 700));
        } else if (kind == 1) {
            sim::ImageSpec arm64;
            arm64.machine = 0xAA64;
            arm64.pe32Plus = true;
            s_.sim.AddRawFile(Server + file, sim::BuildImage(arm64));
        } else {
            s_.sim.AddFile(Server + file, version);
            if (kind < 6) s_.sim.versionFaults[version] = static_cast<sim::VersionFault>(kind - 2);
        }
        s_.sim.SetSignature(Server + file, Signatures[Roll(std::size(Signatures))]);
        if (own) s_.sim.AddFile(Server + L"\\ZORPA.EXE", "marker");
        return "offered " + sim::SimPlatform::Narrow(file) + " " + version + " kind " +
               std::to_string(kind);
    }

    std::string Step() {
        sim::SimPlatform& sim = s_.sim;
        zorpa::ProgramSlot& slot = s_.Slot(AnySlot());
        const std::wstring worker = s_.PathOf(Replaceable());
        switch (Roll(24)) {
        case 0: case 1: case 2: case 3: case 4: case 5: case 19: case 20: case 21:
            return Tick(1000 * (1 + Roll(60)), "tick");
        case 6: s_.Reset(); Note("reset"); break;
        case 7: SetFlag(); Note("flag set"); break;
        case 8:
            sim.SetSetting(L"AjusteZORPA", Thresholds[Roll(std::size(Thresholds))]);
            Note("threshold");
            break;
        case 9: case 10: Note(Offer()); break;
        case 11:
            if (Roll(2)) sim.RemoveFile(Server + zorpa::InfoOf(Replaceable()).replacement);
            else sim.GrowWhileRead(Server + zorpa::InfoOf(Replaceable()).replacement, "+");
            Note("server file vanished or growing");
            break;
        case 12:
            if (const auto windows = sim.WindowsOf(slot.Pid); !windows.empty())
                Roll(3) ? sim.Hang(windows[0]) : sim.Resume(windows[0]);
            else if (sim.IsRunning(slot.Pid)) sim.ExitProcess(slot.Pid);
            Note("worker hung, answered or ended");
            break;
        case 13:
            if (sim.IsRunning(slot.Pid)) sim.ExitProcess(slot.Pid);
            Note("worker ended by itself");
            break;
        case 14:
            sim.scanAfterRename = static_cast<int>(Roll(4));
            if (Roll(8) == 0) sim.FailNextStarts(worker, Roll(2) ? 2 : 193, 1);
            Note("starts refused");
            break;
        case 15:  // for a while: the next such event lifts it again
            for (SlotId id : zorpa::ReplaceOrder) sim.FailFile(s_.PathOf(id), 0);
            if (Roll(2)) sim.FailFile(worker, zorpa::WindowsError::AccessDenied);
            sim.spaceLeft = Roll(3) ? std::nullopt : std::optional<std::size_t>(1);
            Note("renames refused or disk full");
            break;
        case 16: {
            // Another program, under an id a worker had or holding a worker's file, or with the
            // handle of a worker's window that is gone; not both an id and a window, as the
            // supervisor knows a window only by its owner's id.
            const bool reuseId = !sim.IsRunning(slot.Pid) && slot.Pid > 0 && Roll(2);
            const zorpa::ProcessId id =
                reuseId ? slot.Pid : 90000 + 4 * static_cast<int>(foreign_.size());
            if (!sim.IsRunning(id))
                foreign_.push_back(sim.StartForeignProcess(id, Roll(2) ? worker : L""));
            zorpa::ProcessId owner = 0;
            if (!reuseId && slot.Window && !sim.GetWindowProcessId(slot.Window, owner))
                sim.ReuseWindowHandle(slot.Window, id);
            Note("foreign process " + std::to_string(id));
            break;
        }
        case 17: sim.SetTimeOfDay(Roll(86400)); Note("clock set"); break;
        case 18:
            sim.powerCut = sim::SimPlatform::PowerCutPlan{
                sim.diskChanges + 1 + Roll(6), static_cast<sim::SimPlatform::CutWhen>(Roll(3))};
            Note("a power cut is coming");
            break;
        default: return Tick(100, "tick at once");
        }
        return Settle();
    }

    std::mt19937 random_;
    Supervisor s_;
    TerminalInvariants check_{s_};
    std::deque<std::string> recent_;
    std::vector<zorpa::ProcessId> foreign_;
    int step_ = 0, versions_ = 1;
};

TEST(SeededRuns, EveryInvariantHoldsAfterEveryEvent) {
    std::uint32_t first = 1, count = SuiteSeeds;
    if (const char* seeds = std::getenv("ZORPA_SEEDS")) {
        const std::string text(seeds);
        const std::size_t colon = text.find(':');
        if (colon == std::string::npos)
            count = static_cast<std::uint32_t>(std::stoul(text));
        else
            first = static_cast<std::uint32_t>(std::stoul(text)),
            count = static_cast<std::uint32_t>(std::stoul(text.substr(colon + 1)));
    }
    for (std::uint32_t seed = first; seed < first + count; ++seed) {
        const std::string broken = SeededRun(seed).Run();
        ASSERT_EQ(broken, "") << "seed " << seed << ", rerun with scripts/simulate.sh " << seed
                              << " 1";
    }
    std::cout << "seeded runs: " << count << " seeds of " << StepsPerSeed << " steps from seed "
              << first << "\n";
}

}  // namespace
