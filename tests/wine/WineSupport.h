#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Helpers the Wine tests share: folders, files, the settings store, processes and windows.
namespace winetest {

// Polls `condition` every few milliseconds until it holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// Folder of the running test program, where the build puts ZORPA.exe and the stand-ins.
std::wstring BuildFolder();
// A new, empty folder below the user's temporary folder, its name starting with `prefix`.
std::wstring MakeTempFolder(const std::wstring& prefix);
// Deletes everything below `folder`, read-only files included, and the folder itself
// unless `keepFolder`.
void RemoveTree(const std::wstring& folder, bool keepFolder = false);
bool CopyInto(const std::wstring& from, const std::wstring& to);
std::vector<char> ReadBytes(const std::wstring& path);
void WriteText(const std::wstring& path, const std::string& text);
bool Exists(const std::wstring& path);

// Keeps a file open for reading and denies writers, so that every copy onto it fails (under
// Wine run as root the read-only attribute does not stop a writer); `readersToo`: denies
// readers as well, so that nothing else can read it.
class WriteLock {
public:
    explicit WriteLock(const std::wstring& path, bool readersToo = false);
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool Held() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_;
};

// The supervisor's settings: HKCU\Software\VB and VBA Program Settings\velmo\Configuracion.
namespace settings {
void Reset();
void Set(const std::wstring& key, const std::wstring& value);
std::optional<std::wstring> Get(const std::wstring& key);
}  // namespace settings

// One line of the stand-in's log: how one stand-in was started.
struct StandInStart {
    std::wstring exe;
    DWORD pid = 0;
    DWORD flags = 0;
    int show = -1;
    std::string version;
    std::wstring commandLine;
};
std::vector<StandInStart> ReadStandInLog(const std::wstring& folder);

// The first visible-or-not top-level window of `pid` with the given class; nullptr if none.
HWND FindTopLevelWindow(DWORD pid, const std::wstring& className);
std::wstring WindowText(HWND window);
std::wstring ClassOf(HWND window);

// A message box of process `pid` as the user sees it.
struct MessageBoxSeen {
    HWND box = nullptr;
    std::wstring title;
    std::wstring text;
};
std::optional<MessageBoxSeen> FindMessageBox(DWORD pid);
void PressOk(HWND box);

// Terminates every process whose program lies in `folder` and waits for them to end.
void KillProcessesIn(const std::wstring& folder);

}  // namespace winetest
