#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "CallDlls.h"
#include "Platform.h"
#include "Slots.h"
#include "SupervisorLog.h"
#include "UpdateTransaction.h"
#include "WorkerVersions.h"

namespace zorpa {

// The replacement step of the check cycle: new versions of three workers from the server
// folder, each checked, put in place whole and kept on trial, and the supervisor's own new
// version staged beside it, all in one transaction.
class ServerUpdate {
public:
    ServerUpdate(Platform& platform, CallDlls& callDlls, SupervisorLog& log,
                 WorkerVersions& versions, std::array<ProgramSlot, SlotCount>& slots,
                 std::int16_t& replaceAttempts, UpdateTransaction::StartHidden startHidden)
        : platform_(platform),
          callDlls_(callDlls),
          log_(log),
          versions_(versions),
          slots_(slots),
          replaceAttempts_(replaceAttempts),
          startHidden_(std::move(startHidden)) {}

    // Installs what the server offers; the first failure ends the step with RuntimeError.
    // True when the supervisor's own new version was staged, after which it must end.
    bool Run(const std::wstring& serverFolder);
    // What a crash or power cut between copy and rename left behind, by its fixed names only.
    void DeleteLeftovers();

    // What one step may wait, in all, for ended workers to let go of their files.
    static constexpr std::uint32_t WaitMs = 2000;

private:
    UpdateTransaction::Check CheckAgainst(const std::wstring& installed);
    std::wstring PathOf(const wchar_t* file) { return platform_.ProgramFolder() + file; }

    Platform& platform_;
    CallDlls& callDlls_;
    SupervisorLog& log_;
    WorkerVersions& versions_;
    std::array<ProgramSlot, SlotCount>& slots_;
    std::int16_t& replaceAttempts_;
    UpdateTransaction::StartHidden startHidden_;
};

}  // namespace zorpa
