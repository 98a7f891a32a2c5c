#pragma once

#include <optional>
#include <string>

#include "FormTimers.h"
#include "SimPlatform.h"
#include "frmZORPA.h"

// A supervisor on a simulated terminal, with the events that drive it.
struct Supervisor {
    sim::SimPlatform sim;
    std::optional<zorpa::frmZORPA> form{std::in_place, sim};
    bool ended = false;

    Supervisor() { sim.AddWorkers(); }

    // The power comes back after a cut: a new supervisor on the disk as the cut left it.
    void PowerOn(std::uint64_t offForMs) {
        sim.PowerOn(offForMs);
        form.emplace(sim);
        ended = false;
    }

    // Each returns false once the supervisor has ended itself.
    bool Load() { return Run([this] { form->DispatchLoad(); }); }
    bool Tick() { return Run([this] { form->DispatchTimer(zorpa::tmrCheck.id); }); }
    bool Reset() { return Run([this] { form->DispatchTimer(zorpa::tmrReset.id); }); }

    zorpa::ProgramSlot& Slot(zorpa::SlotId id) { return form->Slot(id); }
    std::wstring PathOf(zorpa::SlotId id) const { return sim.folder + zorpa::InfoOf(id).file; }
    std::wstring Flag(const std::wstring& key) const { return sim.Setting(key).value_or(L"<none>"); }

private:
    template <class Event>
    bool Run(Event event) {
        try {
            event();
        } catch (const sim::ProgramEnded&) {
            ended = true;
        }
        return !ended;
    }
};
