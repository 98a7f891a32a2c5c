#pragma once

#include <string>

#include "FormTimers.h"
#include "SimPlatform.h"
#include "frmZORPA.h"

// A supervisor on a simulated terminal, with the events that drive it.
struct Supervisor {
    sim::SimPlatform sim;
    zorpa::frmZORPA form{sim};
    bool ended = false;

    Supervisor() { sim.AddWorkers(); }

    // Each returns false once the supervisor has ended itself.
    bool Load() { return Run([this] { form.DispatchLoad(); }); }
    bool Tick() { return Run([this] { form.DispatchTimer(zorpa::tmrCheck.id); }); }
    bool Reset() { return Run([this] { form.DispatchTimer(zorpa::tmrReset.id); }); }

    zorpa::ProgramSlot& Slot(zorpa::SlotId id) { return form.Slot(id); }
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
