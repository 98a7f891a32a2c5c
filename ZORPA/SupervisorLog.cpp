#include "SupervisorLog.h"

namespace zorpa {

namespace {

std::wstring NameOf(SlotId id) { return InfoOf(id).name; }

std::wstring Worker(SlotId id, ProcessId pid) {
    return NameOf(id) + L" (process " + std::to_wstring(pid) + L")";
}

std::wstring StyleName(int style) {
    switch (style) {
    case ShowStyle::Hidden: return L"hidden";
    case ShowStyle::MaximizedFocused: return L"maximized";
    case ShowStyle::MinimizedNoFocus: return L"minimized without focus";
    default: return L"shown";
    }
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

void SupervisorLog::Started(const std::wstring& folder, std::int16_t threshold) {
    file_.Write(L"ZORPA " L"" APP_VERSION_TEXT L" started in " + folder +
                L"; threshold AjusteZORPA = " + std::to_wstring(threshold));
}

void SupervisorLog::WorkerStarted(SlotId id, ProcessId pid, int style) {
    file_.Write(NameOf(id) + L" started: process " + std::to_wstring(pid) + L", " +
                StyleName(style) + L" (style " + std::to_wstring(style) + L")");
}

void SupervisorLog::WorkerNotStarted(SlotId id, const std::wstring& path,
                                     std::uint32_t windowsError) {
    std::wstring line = NameOf(id) + L" could not be started from " + path;
    if (windowsError != 0) line += L": " + WindowsError(windowsError);
    file_.Write(line);
}

void SupervisorLog::ProbeMissed(SlotId id, ProcessId pid, std::int16_t misses,
                                std::int16_t threshold) {
    file_.Write(Worker(id, pid) + L" did not answer: miss " + std::to_wstring(misses) + L" of " +
                std::to_wstring(threshold));
}

void SupervisorLog::WorkerRestarted(SlotId id, ProcessId oldPid, bool ended, ProcessId newPid,
                                    std::int16_t misses) {
    file_.Write(Worker(id, oldPid) + (ended ? L" ended after " : L" left as it was after ") +
                std::to_wstring(misses) + L" unanswered probes" +
                (ended ? L"" : L" (no window or running instance of it to end)") +
                L" and started again, hidden: process " + std::to_wstring(newPid));
}

void SupervisorLog::CommandObeyed(SettingKey command, const std::vector<Ended>& ended) {
    std::wstring line = std::wstring(NameOf(command)) + L" obeyed: ";
    if (ended.empty()) {
        line += L"no worker of this supervisor was running";
    } else {
        line += L"ended ";
        for (std::size_t i = 0; i < ended.size(); ++i) {
            if (i > 0) line += L", ";
            line += Worker(ended[i].id, ended[i].pid);
        }
    }
    if (command == SettingKey::Restart) line += L"; the hang watch starts them again";
    file_.Write(line);
}

void SupervisorLog::WorkerUpdated(SlotId id, ProcessId pid, bool ended,
                                  const std::wstring& source, std::uint64_t bytes) {
    file_.Write(NameOf(id) + L" updated from " + source + L", " + std::to_wstring(bytes) +
                L" bytes; process " + std::to_wstring(pid) +
                (ended ? L" ended for it" : L" was not running") +
                L", the hang watch starts the new version");
}

void SupervisorLog::OwnUpdateStaged(const std::wstring& source, const std::wstring& target,
                                    std::uint64_t bytes) {
    file_.Write(L"New supervisor staged as " + target + L" from " + source + L", " +
                std::to_wstring(bytes) + L" bytes");
}

void SupervisorLog::ReplaceDone() {
    file_.Write(L"RemplazarProgramas obeyed: request cleared");
}

void SupervisorLog::ReplaceFailed(const RuntimeError& error, std::int16_t attempts,
                                  std::int16_t threshold) {
    file_.Write(L"RemplazarProgramas failed with run-time error " +
                std::to_wstring(error.number()) + L" (failed attempt " + std::to_wstring(attempts) +
                L" of " + std::to_wstring(threshold) + L", the request stays set): " +
                ErrorPhrase(error));
}

void SupervisorLog::ReplaceSkipped(std::int16_t attempts, std::int16_t threshold) {
    file_.Write(L"RemplazarProgramas cleared without trying: " + std::to_wstring(attempts) +
                L" failed attempts reached the threshold " + std::to_wstring(threshold));
}

void SupervisorLog::RunTimeError(const RuntimeError& error) {
    file_.Write(L"Run-time error " + std::to_wstring(error.number()) + L" shown to the user: " +
                ErrorPhrase(error));
}

void SupervisorLog::Ending(const std::wstring& why) { file_.Write(L"ZORPA ends: " + why); }

std::wstring SupervisorLog::ErrorPhrase(const RuntimeError& error) {
    if (error.windowsError() == 0) return error.description();
    // The description ends with the system's own text: say it once, after the number.
    std::wstring action = error.description();
    const std::wstring reason = platform_.ErrorText(error.windowsError());
    if (EndsWith(action, L": " + reason)) action.erase(action.size() - reason.size() - 2);
    return action + L": error " + std::to_wstring(error.windowsError()) + L": " + reason;
}

std::wstring SupervisorLog::WindowsError(std::uint32_t error) {
    return L"error " + std::to_wstring(error) + L": " + platform_.ErrorText(error);
}

}  // namespace zorpa
