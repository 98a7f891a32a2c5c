#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>

#include "Supervisor.h"

// What must hold on a simulated terminal after every event, whatever happened before: written
// once, for the power-cut explorer and the seeded runs alike. Each check returns the broken
// invariant in words, or nothing when all hold.
class TerminalInvariants {
public:
    explicit TerminalInvariants(Supervisor& s);

    // After any event. `tickMs`: how long the event's check cycle took, 0 for no cycle.
    std::string AfterEvent(std::uint64_t tickMs = 0);
    // Right after a start-up (Form_Load).
    std::string AfterStartUp();
    // Once events have stopped and the terminal had time to settle.
    std::string WhenQuiet();

    // No check cycle may take longer on the simulated clock: four hung probes, an update's
    // waits and a start retried, put back and retried for each worker.
    static constexpr std::uint64_t CycleBoundMs = 60000;
    // The instances the supervisor remembers: each worker's, and a few left without a window.
    static constexpr std::size_t RememberedBound = 16;
    // Where the server offers new versions (the drivers leave RutaServidor at its default).
    static constexpr const wchar_t* ServerFolder = L"\\\\SERVIDOR\\Nuevos";

private:
    std::string WorkerFiles();
    std::string RecordLines();
    std::string Steps();
    std::string Ending(const std::string& why);
    std::array<bool, zorpa::SlotCount> Running() const;

    Supervisor& s_;
    // Every version each worker held, and every whole version the server offered it.
    std::array<std::set<std::string>, zorpa::SlotCount> held_, offered_;
    std::array<std::string, zorpa::SlotCount> last_;
    std::array<zorpa::SignatureFacts, zorpa::SlotCount> signature_;
    std::array<bool, zorpa::SlotCount> running_{};
    std::size_t recordSeen_ = 0, terminatedSeen_ = 0, startsSeen_ = 0;
    std::string ownStaged_, startError_;
    int failuresInARow_ = 0;
    bool stepFailed_ = false;
};
