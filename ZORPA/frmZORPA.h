#pragma once

#include <array>
#include <cstdint>

#include "CallDlls.h"
#include "Platform.h"
#include "ServerUpdate.h"
#include "Settings.h"
#include "Slots.h"
#include "SupervisorLog.h"
#include "WorkerVersions.h"

namespace zorpa {

// The supervisor's form: owns every piece of its state for the life of the process.
class frmZORPA {
public:
    explicit frmZORPA(Platform& platform);

    // Entry points for the window's events. A run-time error that no handler takes is
    // reported once, with its description, and ends the supervisor. An event that arrives
    // while another handler runs (from a message box's loop) is dropped.
    void DispatchLoad();
    void DispatchTimer(std::uintptr_t timerId);

    // The event handlers themselves.
    void Form_Load();
    // The form was closed (it is never shown, so only another program can close it).
    void Form_Unload();
    void tmrCheck_Timer();
    void tmrReset_Timer();

    ProgramSlot& Slot(SlotId id) { return slots_[static_cast<std::size_t>(id)]; }
    const ProgramSlot& Slot(SlotId id) const { return slots_[static_cast<std::size_t>(id)]; }

    std::int16_t ReplaceAttempts = 0;
    std::int16_t MissThreshold = 0;

    CallDlls& Module() { return callDlls_; }

    static constexpr const wchar_t* Title = L"ZORPA";
    // What one replacement step may wait, in all, for ended workers to let go of their files.
    static constexpr std::uint32_t UpdateWaitMs = ServerUpdate::WaitMs;
    // What it waits for one ended worker, at most.
    static constexpr std::uint32_t EndWaitMs = CallDlls::EndWaitMs;
    // A file just renamed into place (a new version, or the previous one put back) that Windows
    // refuses to start because it is held (access denied, sharing violation) is tried again this
    // often, for at most this long.
    static constexpr std::uint32_t StartRetryPauseMs = 250;
    static constexpr std::uint32_t StartRetryMs = 2000;

private:
    template <class Handler>
    void RunEvent(Handler handler);
    // Writes why the supervisor ends to its record, then ends it.
    void End(const std::wstring& why);
    void ObeyCommands();
    void WatchForHangs();
    void StartSlot(SlotId id, int style);
    ProcessId Launch(SlotId id, const std::wstring& path, int style);
    void StartAfterFailedUpdate(SlotId id);
    std::wstring PathOf(const wchar_t* file);

    Platform& platform_;
    Settings settings_;
    CallDlls callDlls_;
    SupervisorLog log_;
    std::array<ProgramSlot, SlotCount> slots_{};
    WorkerVersions versions_;
    ServerUpdate update_;
    bool busy_ = false;
};

}  // namespace zorpa
