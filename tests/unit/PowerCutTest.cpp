// Every state a power cut can leave between two changes to the disk, in the update's scenarios:
// each change is numbered in a clean run, then the scenario is run again with the power cut just
// before it, just after it and, for a copy, partway through it. The supervisor then starts again
// on that disk and runs until the terminal is quiet, and the invariants must hold throughout.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>

#include "ProgramImages.h"
#include "TerminalInvariants.h"

namespace {

using zorpa::SlotId;
using CutWhen = sim::SimPlatform::CutWhen;

const std::wstring Server = L"\\\\SERVIDOR\\Nuevos";
const zorpa::SignatureFacts Publisher{zorpa::SignatureState::Intact, L"Site Publisher",
                                      L"CN=Site Publisher", L"AA01", true};
const zorpa::SignatureFacts Other{zorpa::SignatureState::Intact, L"Other", L"CN=Other", L"DD04",
                                  true};

void Offer(Supervisor& s, const wchar_t* file, const std::string& version = "v2") {
    s.sim.AddFile(Server + file, version);
    s.sim.SetSetting(L"RemplazarProgramas", L"1");
}
void OfferAll(Supervisor& s) {
    for (SlotId id : zorpa::ReplaceOrder) Offer(s, zorpa::InfoOf(id).replacement);
}
void Cycles(Supervisor& s, int count) {
    for (int i = 0; i < count && s.Tick(); ++i) s.sim.Advance(30000);
}

struct Scenario {
    const char* name;
    std::function<void(Supervisor&)> before;  // the terminal before the supervisor starts
    std::function<void(Supervisor&)> after;   // once it runs
};

const Scenario Scenarios[] = {
    {"one worker updated", {}, [](Supervisor& s) { Offer(s, L"\\TULVANNEW.EXE"), Cycles(s, 2); }},
    {"three workers and ZORPANEW.EXE",
     {},
     [](Supervisor& s) {
         OfferAll(s), Offer(s, L"\\ZORPA.EXE"), Offer(s, L"\\ZORPANEW.EXE", "zorpa-2");
         Cycles(s, 1);
     }},
    {"the last rename fails",
     [](Supervisor& s) { s.sim.SetReadOnly(s.PathOf(SlotId::FENDA_TICKETS), true); },
     [](Supervisor& s) { OfferAll(s), Cycles(s, 2); }},
    {"rolled back after three failed instances, each start held for a moment",
     [](Supervisor& s) {
         s.sim.versionFaults["v2"] = sim::VersionFault::EndsAtOnce;
         s.sim.scanAfterRename = 1;
     },
     [](Supervisor& s) { Offer(s, L"\\TULVANNEW.EXE"), Cycles(s, 8); }},
    {"confirmed", {}, [](Supervisor& s) { Offer(s, L"\\FENDA_IMPRESIONNEW.EXE"), Cycles(s, 6); }},
    {"start-up with a kept version, a damaged kept version and a leftover",
     [](Supervisor& s) {
         s.sim.AddFile(s.PathOf(SlotId::TULVAN), "v2");
         s.sim.AddFile(s.PathOf(SlotId::TULVAN) + L".old", "v1");
         s.sim.AddRawFile(s.PathOf(SlotId::FENDA_IMPRESION) + L".old",
                          sim::BuildImage({}).substr(0, 900));
         s.sim.AddFile(s.PathOf(SlotId::FENDA_TICKETS) + L".old.new", "v0");
     },
     [](Supervisor& s) { Cycles(s, 5); }},
    {"a signed worker and a refused copy",
     [](Supervisor& s) {
         s.sim.SetSignature(s.PathOf(SlotId::TULVAN), Publisher);
         s.sim.SetSignature(s.PathOf(SlotId::FENDA_IMPRESION), Publisher);
     },
     [](Supervisor& s) {
         OfferAll(s);
         s.sim.SetSignature(Server + L"\\TULVANNEW.EXE", Other);
         s.sim.SetSignature(Server + L"\\FENDA_IMPRESIONNEW.EXE", Publisher);
         Cycles(s, 2);
         s.sim.SetSignature(Server + L"\\TULVANNEW.EXE", Publisher);
         Cycles(s, 2);
     }},
};

struct Outcome {
    std::vector<bool> copies;  // each disk change of the run: a copy or not
    std::string broken;        // the first invariant broken
};

// Runs the scenario, the power cut as planned; the supervisor then starts again on what the
// disk holds and runs until the terminal is quiet.
Outcome CutAndRecover(const Scenario& scenario, std::optional<sim::SimPlatform::PowerCutPlan> cut) {
    Supervisor s;
    s.sim.SetSetting(L"AjusteZORPA", L"2");
    if (scenario.before) scenario.before(s);
    TerminalInvariants check(s);
    s.sim.powerCut = cut;
    if (s.Load()) scenario.after(s);
    const std::vector<bool> changes = s.sim.changeWasCopy;
    std::string broken = check.AfterEvent();
    if (!broken.empty()) return {changes, "before the cut came back: " + broken};
    s.PowerOn(60000);
    s.Load();
    if (!(broken = check.AfterStartUp()).empty()) return {changes, "at start-up: " + broken};
    for (int cycle = 0; cycle < 16 && !s.ended; ++cycle) {
        const std::uint64_t start = s.sim.NowMs();
        s.Tick();
        if (!(broken = check.AfterEvent(s.sim.NowMs() - start)).empty()) return {changes, broken};
        s.sim.Advance(30000);
    }
    return {changes, check.WhenQuiet()};
}

TEST(PowerCuts, EveryCutBetweenTwoDiskChangesLeavesATerminalThatRecovers) {
    std::size_t states = 0;
    for (const Scenario& scenario : Scenarios) {
        SCOPED_TRACE(scenario.name);
        const Outcome clean = CutAndRecover(scenario, std::nullopt);
        ASSERT_EQ(clean.broken, "") << "without a power cut";
        for (std::uint64_t at = 1; at <= clean.copies.size(); ++at) {
            for (CutWhen when : {CutWhen::Before, CutWhen::Partway, CutWhen::After}) {
                if (when == CutWhen::Partway && !clean.copies[at - 1]) continue;
                ++states;
                const std::string broken = CutAndRecover(scenario, {{at, when}}).broken;
                EXPECT_EQ(broken, "") << "power cut " << static_cast<int>(when)
                                      << " (0 before, 1 partway, 2 after) disk change " << at;
            }
        }
    }
    std::cout << "power cuts: " << states << " crash states explored in " << std::size(Scenarios)
              << " scenarios\n";
}

}  // namespace
