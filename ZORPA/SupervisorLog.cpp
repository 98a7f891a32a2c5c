#include "SupervisorLog.h"

#include "Publisher.h"

namespace zorpa {

namespace {

const wchar_t* NameOf(SlotId id) { return InfoOf(id).name; }

const char* StyleName(int style) {
    switch (style) {
    case ShowStyle::Hidden: return "hidden";
    case ShowStyle::MaximizedFocused: return "maximized";
    case ShowStyle::MinimizedNoFocus: return "minimized without focus";
    default: return "shown";
    }
}

// "TULVAN (process 1012)"
LogLine& Worker(LogLine& line, SlotId id, ProcessId pid) {
    return line << NameOf(id) << " (process " << pid << ")";
}

// "1012, 1016"
LogLine& ProcessList(LogLine& line, const std::vector<ProcessId>& ids) {
    for (std::size_t i = 0; i < ids.size(); ++i) line << (i == 0 ? "" : ", ") << ids[i];
    return line;
}

// A new version this terminal will not install, rather than a step that could not be done.
bool IsRefusal(const RuntimeError& error) {
    return error.number() == ErrorNumber::InvalidFileFormat ||
           error.number() == ErrorNumber::PermissionToUseObjectDenied;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

void SupervisorLog::Started(const std::wstring& folder, std::int16_t threshold) {
    LogLine line;
    line << "ZORPA " APP_VERSION_TEXT " started in " << folder
         << "; threshold AjusteZORPA = " << threshold;
    Write(line, EventKind::Started);
}

void SupervisorLog::WorkerStarted(SlotId id, ProcessId pid, int style) {
    LogLine line;
    line << NameOf(id) << " started: process " << pid << ", " << StyleName(style) << " (style "
         << style << ")";
    file_.Write(line);
}

void SupervisorLog::WorkerNotStarted(SlotId id, const std::wstring& path,
                                     std::uint32_t windowsError, bool newVersion) {
    LogLine line;
    line << NameOf(id) << (newVersion ? "'s new version" : "") << " could not be started from "
         << path;
    if (windowsError != 0) WindowsError(line << ": ", windowsError);
    Write(line, newVersion ? EventKind::NewVersionNotStarted : EventKind::WorkerNotStarted);
}

void SupervisorLog::ProbeMissed(SlotId id, ProcessId pid, std::int16_t misses,
                                std::int16_t threshold) {
    LogLine line;
    Worker(line, id, pid) << " did not answer: miss " << misses << " of " << threshold;
    file_.Write(line);
}

void SupervisorLog::WorkerRestarted(SlotId id, ProcessId oldPid, bool ended, ProcessId newPid,
                                    std::int16_t misses) {
    LogLine line;
    Worker(line, id, oldPid) << (ended ? " ended after " : " left as it was after ") << misses
                             << (misses == 1 ? " unanswered probe" : " unanswered probes")
                             << (ended ? "" : " (no window or running instance of it to end)")
                             << " and started again, hidden: process " << newPid;
    Write(line, EventKind::WorkerRestarted);
}

void SupervisorLog::CommandObeyed(SettingKey command, const std::vector<Ended>& ended) {
    LogLine line;
    line << NameOf(command) << " obeyed: ";
    if (ended.empty()) line << "no worker of this supervisor was running";
    for (std::size_t i = 0; i < ended.size(); ++i)
        Worker(line << (i == 0 ? "ended " : ", "), ended[i].id, ended[i].pid);
    if (command == SettingKey::Restart) line << "; the hang watch starts them again";
    Write(line, EventKind::CommandObeyed);
}

void SupervisorLog::WorkerUpdated(SlotId id, ProcessId pid, const std::vector<ProcessId>& ended,
                                  const std::wstring& source, std::uint64_t bytes,
                                  const std::wstring& versions) {
    LogLine line;
    line << NameOf(id) << " updated " << (versions.empty() ? L"from " : versions + L" in ")
         << source << ", " << bytes << " bytes; ";
    if (ended.empty())
        line << "process " << pid << " was not running";
    else
        ProcessList(line << (ended.size() == 1 ? "process " : "processes "), ended)
            << " ended for it";
    Write(line << ", the hang watch starts the new version", EventKind::WorkerUpdated);
}

void SupervisorLog::OwnUpdateStaged(const std::wstring& source, const std::wstring& target,
                                    std::uint64_t bytes) {
    LogLine line;
    line << "New supervisor staged as " << target << " from " << source << ", " << bytes
         << " bytes";
    Write(line, EventKind::OwnUpdateStaged);
}

void SupervisorLog::AlreadyInstalled(SlotId id, const std::wstring& source) {
    LogLine line;
    file_.Write(line << NameOf(id) << " already is the version in " << source
                     << ": nothing to install");
}

void SupervisorLog::OwnAlreadyRunning(const std::wstring& source) {
    LogLine line;
    file_.Write(line << "ZORPA already is the version in " << source << ": nothing to stage");
}

void SupervisorLog::PublisherOf(const std::wstring& path) {
    const SignatureFacts facts = platform_.ReadSignature(path);
    LogLine line;
    line << FileNameOf(path);
    switch (facts.state) {
    case SignatureState::Unsigned: return;
    case SignatureState::Intact:
        file_.Write(line << " is " << SignedBy(facts)
                         << ": its new versions must come from the same publisher");
        return;
    case SignatureState::DoesNotMatch: line << "'s signature does not match its bytes"; break;
    case SignatureState::Uncheckable: line << "'s signature cannot be checked on this Windows"; break;
    case SignatureState::Unreadable:
        // Read again before every update, which waits until it can be read.
        file_.Write(line << "'s signature cannot be read now: its publisher is read again "
                            "before each update");
        return;
    }
    file_.Write(line << ": its new versions are not held to a publisher");
}

void SupervisorLog::VersionOnTrial(SlotId id, const std::wstring& kept) {
    LogLine line;
    line << NameOf(id) << "'s new version is not yet confirmed; the previous one is kept as ";
    file_.Write(line << kept);
}

void SupervisorLog::VersionConfirmed(SlotId id, ProcessId pid, int answeredCycles,
                                     std::uint64_t overMs, const std::wstring& kept) {
    LogLine line;
    Write(line << NameOf(id) << "'s new version confirmed: process " << pid
               << " showed its window and answered in " << answeredCycles << " check cycles over "
               << static_cast<long long>(overMs / 1000) << " s; " << kept << " deleted",
          EventKind::VersionConfirmed);
}

void SupervisorLog::KeptVersionDropped(SlotId id, const std::wstring& kept,
                                       const std::wstring& why) {
    LogLine line;
    file_.Write(line << NameOf(id) << "'s kept version " << kept << " deleted: " << why);
}

void SupervisorLog::StartedAfterFailedUpdate(SlotId id, ProcessId pid) {
    LogLine line;
    file_.Write(line << NameOf(id)
                     << " started again, hidden, since the replacement step that ended it failed: "
                        "process "
                     << pid);
}

void SupervisorLog::NewVersionFailing(SlotId id, const std::vector<ProcessId>& instances) {
    LogLine line;
    line << NameOf(id) << "'s new version given up: " << static_cast<long long>(instances.size())
         << " instances ended or stopped answering before one was confirmed (processes ";
    Write(ProcessList(line, instances) << ")", EventKind::NewVersionGivenUp);
}

void SupervisorLog::RolledBack(SlotId id, const std::wstring& path) {
    LogLine line;
    Write(line << NameOf(id) << " rolled back: the previous version is back in " << path,
          EventKind::RolledBack);
}

void SupervisorLog::RollBackFailed(SlotId id, const RuntimeError& error) {
    LogLine line;
    line << NameOf(id) << " could not be rolled back, the previous version stays kept: ";
    Write(ErrorPhrase(line, error), EventKind::RollBackFailed);
}

void SupervisorLog::ReplaceDone() {
    LogLine line;
    file_.Write(line << "RemplazarProgramas obeyed: request cleared");
}

void SupervisorLog::ReplaceFailed(const RuntimeError& error, std::int16_t attempts,
                                  std::int16_t threshold) {
    LogLine line;
    line << "RemplazarProgramas failed with run-time error " << error.number()
         << " (failed attempt " << attempts << " of " << threshold
         << ", the request stays set): ";
    Write(ErrorPhrase(line, error),
          IsRefusal(error) ? EventKind::UpdateRefused : EventKind::UpdateFailed);
}

void SupervisorLog::ReplaceSkipped(std::int16_t attempts, std::int16_t threshold) {
    LogLine line;
    line << "RemplazarProgramas cleared without trying: " << attempts
         << " failed attempts reached the threshold " << threshold;
    Write(line, EventKind::UpdateGivenUp);
}

void SupervisorLog::RunTimeError(const RuntimeError& error) {
    LogLine line;
    line << "Run-time error " << error.number() << " shown to the user: ";
    Write(ErrorPhrase(line, error), EventKind::RunTimeError);
}

void SupervisorLog::Ending(const std::wstring& why) {
    LogLine line;
    events_.ReportUntold();
    Write(line << "ZORPA ends: " << why, EventKind::Ending);
}

LogLine& SupervisorLog::ErrorPhrase(LogLine& line, const RuntimeError& error) {
    if (error.windowsError() == 0) return line << error.description();
    // The description ends with the system's own text: say it once, after the number.
    const std::wstring& description = error.description();
    const std::wstring reason = L": " + platform_.ErrorText(error.windowsError());
    const bool named = EndsWith(description, reason);
    line << (named ? description.substr(0, description.size() - reason.size()) : description);
    return WindowsError(line << ": ", error.windowsError());
}

void SupervisorLog::Write(const LogLine& line, EventKind kind) {
    file_.Write(line);
    events_.Report(kind, line);
}

LogLine& SupervisorLog::WindowsError(LogLine& line, std::uint32_t error) {
    return line << "error " << error << ": " << platform_.ErrorText(error);
}

}  // namespace zorpa
