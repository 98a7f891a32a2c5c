#include "TerminalSite.h"

#include "StandInProtocol.h"

namespace winetest {

namespace {
constexpr DWORD ProcessWatchAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE;
constexpr DWORD ProcessEndMs = 3000;
// How long an answer may take before the worker counts as hung.
constexpr DWORD HangCheckMs = 200;
}

TerminalSite::TerminalSite(std::wstring folder, bool keepFolder)
    : folder_(std::move(folder)), keepFolder_(keepFolder) {}

TerminalSite::~TerminalSite() {
    if (supervisor_) ::TerminateProcess(supervisor_.get(), 1);
    for (const auto& worker : workers_) ::TerminateProcess(worker.second.get(), 1);
    for (const auto& worker : workers_) ::WaitForSingleObject(worker.second.get(), ProcessEndMs);
    // Catches instances whose log line was never read.
    KillProcessesIn(folder_);
    RemoveTree(folder_, keepFolder_);
}

std::wstring TerminalSite::PathOf(const std::wstring& name) const {
    return folder_.back() == L'\\' ? folder_ + name : folder_ + L"\\" + name;
}

bool TerminalSite::InstallSupervisor() {
    return CopyInto(BuildFolder() + L"\\" + SupervisorFile, PathOf(SupervisorFile));
}

bool TerminalSite::InstallWorker(const std::wstring& file, const wchar_t* build) {
    return CopyInto(BuildFolder() + L"\\" + build, PathOf(file));
}

bool TerminalSite::InstallWorkers() {
    bool installed = InstallSupervisor();
    for (const std::wstring& file : WorkerFiles) installed = InstallWorker(file) && installed;
    return installed;
}

bool TerminalSite::StartSupervisor() {
    const std::wstring path = PathOf(SupervisorFile);
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Wine writes each ReportEventW call to its debug output: its type and ID on the advapi
    // channel, its strings on the eventlog channel. The child reads WINEDEBUG when it starts.
    wchar_t debugBefore[MAX_PATH] = L"";
    const bool hadDebug = ::GetEnvironmentVariableW(L"WINEDEBUG", debugBefore, MAX_PATH) > 0;
    if (traceEvents_) ::SetEnvironmentVariableW(L"WINEDEBUG", L"fixme-all,fixme+advapi,+eventlog");
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr,
                                          FALSE, 0, nullptr, nullptr, &startup, &info);
    if (traceEvents_) ::SetEnvironmentVariableW(L"WINEDEBUG", hadDebug ? debugBefore : nullptr);
    if (!started) return false;
    ::CloseHandle(info.hThread);
    supervisor_.reset(info.hProcess);
    supervisorPid_ = info.dwProcessId;
    return true;
}

bool TerminalSite::SupervisorRunning() const {
    return supervisor_ && ::WaitForSingleObject(supervisor_.get(), 0) == WAIT_TIMEOUT;
}

bool TerminalSite::WaitForSupervisorEnd(DWORD timeoutMs) const {
    return supervisor_ && ::WaitForSingleObject(supervisor_.get(), timeoutMs) == WAIT_OBJECT_0;
}

HWND TerminalSite::Form() const { return FindTopLevelWindow(supervisorPid_, L"frmZORPA"); }

std::vector<StandInStart> TerminalSite::Starts() {
    std::vector<StandInStart> starts = ReadStandInLog(folder_);
    for (const StandInStart& start : starts) {
        if (workers_.count(start.pid) != 0) continue;
        const HANDLE process = ::OpenProcess(ProcessWatchAccess, FALSE, start.pid);
        if (process != nullptr) workers_.emplace(start.pid, Handle(process));
    }
    return starts;
}

bool TerminalSite::WaitForStarts(std::size_t count, DWORD timeoutMs) {
    return WaitUntil([&] { return Starts().size() >= count; }, timeoutMs);
}

std::optional<StandInStart> TerminalSite::StartOf(const std::wstring& file, std::size_t nth) {
    for (const StandInStart& start : Starts()) {
        if (start.exe != file) continue;
        if (nth == 0) return start;
        --nth;
    }
    return std::nullopt;
}

bool TerminalSite::WaitUntilReady(DWORD pid, DWORD timeoutMs) const {
    const auto worker = workers_.find(pid);
    return worker != workers_.end() && ::WaitForInputIdle(worker->second.get(), timeoutMs) == 0;
}

bool TerminalSite::IsRunning(DWORD pid) const {
    const auto worker = workers_.find(pid);
    return worker != workers_.end() &&
           ::WaitForSingleObject(worker->second.get(), 0) == WAIT_TIMEOUT;
}

bool TerminalSite::WaitForEnd(DWORD pid, DWORD timeoutMs) const {
    const auto worker = workers_.find(pid);
    return worker != workers_.end() &&
           ::WaitForSingleObject(worker->second.get(), timeoutMs) == WAIT_OBJECT_0;
}

HWND TerminalSite::WorkerWindow(DWORD pid) const {
    HWND window = nullptr;
    WaitUntil(
        [&] {
            window = FindTopLevelWindow(pid, standin::WindowClass);
            return window != nullptr;
        },
        StartTimeoutMs);
    return window;
}

bool TerminalSite::Hang(DWORD pid) const {
    const HWND window = WorkerWindow(pid);
    if (window == nullptr || ::PostMessageW(window, standin::HangMessage, 0, 0) == 0) return false;
    // A sent message is taken before a posted one: until the worker has really taken the
    // hang request, a probe would still be answered. Return once a probe is not.
    return WaitUntil(
        [window] {
            DWORD_PTR result = 0;
            return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, HangCheckMs,
                                         &result) == 0;
        },
        StartTimeoutMs);
}

bool TerminalSite::Tick(WPARAM timer, DWORD timeoutMs) const {
    // A WM_NULL sent after a posted tick would be answered before the tick is taken from the
    // queue, and again from inside the cycle's own probes; a sent tick returns exactly when
    // its handler has finished.
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(Form(), WM_TIMER, timer, 0, SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool TerminalSite::PostTick(WPARAM timer) const {
    return ::PostMessageW(Form(), WM_TIMER, timer, 0) != 0;
}

}  // namespace winetest
