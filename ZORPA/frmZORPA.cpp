#include "frmZORPA.h"

#include "DecimalText.h"
#include "ErrorNumbers.h"
#include "FormTimers.h"

#include <limits>
#include <vector>

namespace zorpa {

namespace {

// Marks a handler as running for as long as it runs, however it ends.
class BusyGuard {
public:
    explicit BusyGuard(bool& running) : running_(running) { running_ = true; }
    ~BusyGuard() { running_ = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;

private:
    bool& running_;
};

// Windows' refusals to start a file that another program reads or holds for a moment.
bool PassesByItself(std::uint32_t windowsError) {
    return windowsError == WindowsError::AccessDenied ||
           windowsError == WindowsError::SharingViolation;
}

std::int16_t Incremented(std::int16_t value) {
    return value == std::numeric_limits<std::int16_t>::max() ? value
                                                             : static_cast<std::int16_t>(value + 1);
}

}  // namespace

frmZORPA::frmZORPA(Platform& platform)
    : platform_(platform),
      settings_(platform),
      callDlls_(platform),
      log_(platform),
      versions_(platform, callDlls_, log_, slots_),
      update_({platform, callDlls_, log_, versions_, slots_, ReplaceAttempts,
               [this](SlotId id) { StartAfterFailedUpdate(id); }}) {}

template <class Handler>
void frmZORPA::RunEvent(Handler handler) {
    // A message box of a running handler delivers ticks too; its state assumes one handler
    // at a time, so such a tick is dropped.
    if (busy_) return;
    BusyGuard guard(busy_);
    try {
        (this->*handler)();
    } catch (const RuntimeError& error) {
        log_.RunTimeError(error);
        platform_.ShowMessage(L"Run-time error '" + DecimalText(error.number()) + L"':\n\n" +
                                  error.description(),
                              Title, MessageIcon::Critical);
        End(L"after run-time error " + DecimalText(error.number()));
    }
}

void frmZORPA::DispatchLoad() { RunEvent(&frmZORPA::Form_Load); }

void frmZORPA::DispatchTimer(std::uintptr_t timerId) {
    if (timerId == tmrCheck.id) RunEvent(&frmZORPA::tmrCheck_Timer);
    else if (timerId == tmrReset.id) RunEvent(&frmZORPA::tmrReset_Timer);
}

void frmZORPA::Form_Load() {
    platform_.HideForm();
    // Commands posted while the supervisor was not running are dropped.
    for (SettingKey flag : CommandFlags) settings_.ClearFlag(flag);
    MissThreshold = settings_.ReadMissThreshold();
    log_.Started(platform_.ProgramFolder(), MissThreshold);
    update_.DeleteLeftovers();
    versions_.Load();
    for (SlotId id : StartOrder) {
        StartSlot(id, InfoOf(id).startStyle);
        log_.WorkerStarted(id, Slot(id).Pid, InfoOf(id).startStyle);
    }
    // After the starts, which the signatures' reading would only delay.
    log_.PublisherOf(platform_.ProgramPath());
    for (SlotId id : ReplaceOrder) log_.PublisherOf(PathOf(InfoOf(id).file));
}

void frmZORPA::Form_Unload() { log_.Ending(L"its form was closed"); }

void frmZORPA::tmrCheck_Timer() {
    MissThreshold = settings_.ReadMissThreshold();
    if (!settings_.IsFlagSet(SettingKey::RemplazarProgramas)) {
        ObeyCommands();
        WatchForHangs();
        return;
    }
    // From here to the end of the cycle an error counts as a failed replacement attempt
    // and ends the cycle.
    try {
        const std::wstring serverFolder = settings_.Read(SettingKey::RutaServidor);
        const bool tried = ReplaceAttempts < MissThreshold;
        if (tried && update_.Run(serverFolder))
            End(L"its new version is staged as ZORPANEW.EXE for the site to start");
        settings_.ClearFlag(SettingKey::RemplazarProgramas);
        if (tried) log_.ReplaceDone();
        else log_.ReplaceSkipped(ReplaceAttempts, MissThreshold);
        ObeyCommands();
        WatchForHangs();
    } catch (const RuntimeError& error) {
        ReplaceAttempts = Incremented(ReplaceAttempts);
        log_.ReplaceFailed(error, ReplaceAttempts, MissThreshold);
    }
}

void frmZORPA::tmrReset_Timer() {
    for (ProgramSlot& slot : slots_) slot.MissCounter = 0;
}

// Shut-down and exit end the supervisor; restart leaves the new starts to the hang watch.
void frmZORPA::ObeyCommands() {
    for (SettingKey command : {SettingKey::ShutDown, SettingKey::Exit, SettingKey::Restart}) {
        if (!settings_.IsFlagSet(command)) continue;
        std::vector<SupervisorLog::Ended> ended;
        for (SlotId id : CommandKillOrder) {
            if (!callDlls_.KillProgram(Slot(id).Window, Slot(id).Pid)) continue;
            ended.push_back({id, Slot(id).Pid});
            versions_.EndedByCommand(id);
        }
        settings_.ClearFlag(command);
        log_.CommandObeyed(command, ended);
        if (command != SettingKey::Restart) End(std::wstring(NameOf(command)) + L" was set");
    }
}

void frmZORPA::WatchForHangs() {
    for (SlotId id : ProbeOrder) {
        ProgramSlot& slot = Slot(id);
        if (callDlls_.IsProgramResponding(slot.Window, slot.Pid)) {
            slot.MissCounter = 0;
            versions_.Answered(id);
            continue;
        }
        slot.MissCounter = Incremented(slot.MissCounter);
        log_.ProbeMissed(id, slot.Pid, slot.MissCounter, MissThreshold);
        if (slot.MissCounter < MissThreshold) continue;
        // The third instance of a new version that failed: the previous one comes back.
        const bool ended = versions_.GivesUpOn(id) ? versions_.RollBackFailing(id)
                                                   : callDlls_.KillProgram(slot.Window, slot.Pid);
        const ProcessId old = slot.Pid;
        StartSlot(id, ShowStyle::Hidden);
        log_.WorkerRestarted(id, old, ended, slot.Pid, slot.MissCounter);
        slot.MissCounter = 0;
    }
}

// Starts the slot's program from the supervisor's folder. A new version that cannot be started
// gives way to the kept previous one; any other program that cannot be started leaves the
// terminal unusable, so the supervisor says so and ends.
void frmZORPA::StartSlot(SlotId id, int style) {
    ProgramSlot& slot = Slot(id);
    const SlotInfo& info = InfoOf(id);
    const std::wstring path = PathOf(info.file);
    slot.Pid = Launch(id, path, style);
    if (slot.Pid == -1 && versions_.RollBackUnstartable(id, callDlls_.StartError))
        slot.Pid = Launch(id, path, style);
    if (slot.Pid != -1) {
        versions_.Started(id);
    } else {
        log_.WorkerNotStarted(id, path, callDlls_.StartError);
        platform_.ShowMessage(info.failureMessage, Title, MessageIcon::None);
        End(std::wstring(info.name) + L" could not be started");
    }
}

// A file just renamed into place may be held for a moment (a virus scanner reads it): its start
// is tried again for a while before it counts as failed.
ProcessId frmZORPA::Launch(SlotId id, const std::wstring& path, int style) {
    WindowHandle& window = Slot(id).Window;
    ProcessId pid = callDlls_.LaunchProgram(path, window, style);
    for (std::uint32_t waited = 0; pid == -1 && versions_.JustPlaced(id) &&
                                   PassesByItself(callDlls_.StartError) && waited < StartRetryMs;
         waited += StartRetryPauseMs) {
        platform_.Sleep(StartRetryPauseMs);
        pid = callDlls_.LaunchProgram(path, window, style);
    }
    return pid;
}

// A worker ended for an update that then failed is not left down.
void frmZORPA::StartAfterFailedUpdate(SlotId id) {
    StartSlot(id, ShowStyle::Hidden);
    Slot(id).MissCounter = 0;
    log_.StartedAfterFailedUpdate(id, Slot(id).Pid);
}

std::wstring frmZORPA::PathOf(const wchar_t* file) { return platform_.ProgramFolder() + file; }

void frmZORPA::End(const std::wstring& why) {
    log_.Ending(why);
    platform_.EndProgram();
}

}  // namespace zorpa
