#include "frmZORPA.h"

#include "FormTimers.h"
#include "StagedFile.h"

#include <algorithm>
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

std::int16_t Incremented(std::int16_t value) {
    return value == std::numeric_limits<std::int16_t>::max() ? value
                                                             : static_cast<std::int16_t>(value + 1);
}

}  // namespace

frmZORPA::frmZORPA(Platform& platform)
    : platform_(platform), settings_(platform), callDlls_(platform), log_(platform) {}

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
        platform_.ShowMessage(L"Run-time error '" + std::to_wstring(error.number()) + L"':\n\n" +
                                  error.description(),
                              Title, MessageIcon::Critical);
        End(L"after run-time error " + std::to_wstring(error.number()));
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
    DeleteUpdateLeftovers();
    for (SlotId id : StartOrder) {
        StartSlot(id, InfoOf(id).startStyle);
        log_.WorkerStarted(id, Slot(id).Pid, InfoOf(id).startStyle);
    }
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
        if (tried) ReplacePrograms(serverFolder);
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

// Each file is replaced whole or not at all; the first failure ends the step (and the cycle).
void frmZORPA::ReplacePrograms(const std::wstring& serverFolder) {
    updateWaitLeftMs_ = UpdateWaitMs;
    for (SlotId id : ReplaceOrder) ReplaceWorker(id, serverFolder);
    StageOwnUpdate(serverFolder);
}

// Installs the worker's new version when the server offers one. The copy is made while the
// worker still runs, so a server that cannot be read leaves it running; the worker is down
// only for the rename.
void frmZORPA::ReplaceWorker(SlotId id, const std::wstring& serverFolder) {
    const SlotInfo& info = InfoOf(id);
    const std::wstring source = serverFolder + info.replacement;
    if (!platform_.FileExists(source)) return;
    StagedFile update(platform_, source, PathOf(info.file));
    const bool ended = EndForUpdate(Slot(id));
    update.PutInPlace(updateWaitLeftMs_);
    ReplaceAttempts = 0;
    log_.WorkerUpdated(id, Slot(id).Pid, ended, source, update.Bytes());
}

// The supervisor never replaces its own file: it leaves the new version beside itself for the
// site to start, and only when the server really offers one.
void frmZORPA::StageOwnUpdate(const std::wstring& serverFolder) {
    if (!platform_.FileExists(serverFolder + OwnUpdateMarker) ||
        !platform_.FileExists(serverFolder + OwnUpdateFile))
        return;
    StagedFile update(platform_, serverFolder + OwnUpdateFile, PathOf(OwnUpdateFile));
    update.PutInPlace(updateWaitLeftMs_);
    log_.OwnUpdateStaged(serverFolder + OwnUpdateFile, PathOf(OwnUpdateFile), update.Bytes());
    End(L"its new version is staged as ZORPANEW.EXE for the site to start");
}

// Ending a process is asynchronous: wait, within what the step may still wait, until the
// worker has let go of its file. True when the worker was ended here.
bool frmZORPA::EndForUpdate(ProgramSlot& slot) {
    const std::uint64_t start = platform_.MonotonicMilliseconds();
    const bool ended =
        callDlls_.KillProgram(slot.Window, slot.Pid, std::min(EndWaitMs, updateWaitLeftMs_));
    const std::uint64_t waited = platform_.MonotonicMilliseconds() - start;
    updateWaitLeftMs_ -=
        static_cast<std::uint32_t>(std::min<std::uint64_t>(waited, updateWaitLeftMs_));
    return ended;
}

// What a crash or power cut between copy and rename left behind, by its fixed names only.
void frmZORPA::DeleteUpdateLeftovers() {
    for (SlotId id : ReplaceOrder) StagedFile::DeleteLeftover(platform_, PathOf(InfoOf(id).file));
    StagedFile::DeleteLeftover(platform_, PathOf(OwnUpdateFile));
}

// Shut-down and exit end the supervisor; restart leaves the new starts to the hang watch.
void frmZORPA::ObeyCommands() {
    for (SettingKey command : {SettingKey::ShutDown, SettingKey::Exit, SettingKey::Restart}) {
        if (!settings_.IsFlagSet(command)) continue;
        std::vector<SupervisorLog::Ended> ended;
        for (SlotId id : CommandKillOrder) {
            if (callDlls_.KillProgram(Slot(id).Window, Slot(id).Pid))
                ended.push_back({id, Slot(id).Pid});
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
            continue;
        }
        slot.MissCounter = Incremented(slot.MissCounter);
        log_.ProbeMissed(id, slot.Pid, slot.MissCounter, MissThreshold);
        if (slot.MissCounter < MissThreshold) continue;
        const bool ended = callDlls_.KillProgram(slot.Window, slot.Pid);
        const ProcessId old = slot.Pid;
        StartSlot(id, ShowStyle::Hidden);
        log_.WorkerRestarted(id, old, ended, slot.Pid, slot.MissCounter);
        slot.MissCounter = 0;
    }
}

// Starts the slot's program from the supervisor's folder; a program that cannot be
// started leaves the terminal unusable, so the supervisor says so and ends.
void frmZORPA::StartSlot(SlotId id, int style) {
    ProgramSlot& slot = Slot(id);
    const SlotInfo& info = InfoOf(id);
    const std::wstring path = PathOf(info.file);
    slot.Pid = callDlls_.LaunchProgram(path, slot.Window, style);
    if (slot.Pid == -1) {
        log_.WorkerNotStarted(id, path, callDlls_.StartError);
        platform_.ShowMessage(info.failureMessage, Title, MessageIcon::None);
        End(std::wstring(info.name) + L" could not be started");
    }
}

std::wstring frmZORPA::PathOf(const wchar_t* file) { return platform_.ProgramFolder() + file; }

void frmZORPA::End(const std::wstring& why) {
    log_.Ending(why);
    platform_.EndProgram();
}

}  // namespace zorpa
