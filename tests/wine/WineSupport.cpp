#include "WineSupport.h"

#include <tlhelp32.h>

#include <cwctype>

#include "StandInProtocol.h"
#include "Win32Handles.h"

namespace winetest {

namespace {

constexpr const wchar_t* SettingsKey = L"Software\\VB and VBA Program Settings\\velmo";
constexpr const wchar_t* SettingsSectionKey =
    L"Software\\VB and VBA Program Settings\\velmo\\Configuracion";
constexpr DWORD PollMs = 20;
constexpr DWORD ProcessEndMs = 3000;

using Handle = zorpa::win32::UniqueHandle;
using Key = zorpa::win32::UniqueKey;

std::wstring FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                          size);
    return result;
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

std::optional<std::wstring> ImagePathOf(HANDLE process) {
    wchar_t path[MAX_PATH * 4];
    DWORD size = static_cast<DWORD>(std::size(path));
    if (!::QueryFullProcessImageNameW(process, 0, path, &size)) return std::nullopt;
    return std::wstring(path, size);
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() >= deadline) return false;
        ::Sleep(PollMs);
    }
}

std::wstring BuildFolder() {
    wchar_t path[MAX_PATH * 4];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, static_cast<DWORD>(std::size(path)));
    const std::wstring full(path, length);
    return full.substr(0, full.find_last_of(L'\\'));
}

std::wstring MakeTempFolder(const std::wstring& prefix) {
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    for (unsigned attempt = 0;; ++attempt) {
        const std::wstring folder = std::wstring(temp) + prefix + L"-" +
                                    std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(attempt);
        if (::CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    }
}

void RemoveTree(const std::wstring& folder, bool keepFolder) {
    WIN32_FIND_DATAW found{};
    const HANDLE listing = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
                continue;
            }
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            // A program ended a moment ago may still hold its file.
            WaitUntil([&] { return ::DeleteFileW(path.c_str()) != 0; }, ProcessEndMs);
        } while (::FindNextFileW(listing, &found));
        ::FindClose(listing);
    }
    if (!keepFolder) ::RemoveDirectoryW(folder.c_str());
}

bool CopyInto(const std::wstring& from, const std::wstring& to) {
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
}

std::vector<char> ReadBytes(const std::wstring& path) {
    const HANDLE opened = ::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return {};
    const Handle file(opened);
    std::vector<char> bytes;
    char chunk[64 * 1024];
    DWORD read = 0;
    while (::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
        bytes.insert(bytes.end(), chunk, chunk + read);
    return bytes;
}

void WriteText(const std::wstring& path, const std::string& text) {
    const HANDLE opened = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return;
    const Handle file(opened);
    DWORD written = 0;
    ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

WriteLock::WriteLock(const std::wstring& path, bool readersToo)
    : file_(::CreateFileW(path.c_str(), GENERIC_READ, readersToo ? 0 : FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

WriteLock::~WriteLock() {
    if (Held()) ::CloseHandle(file_);
}

namespace settings {

void Reset() { ::RegDeleteTreeW(HKEY_CURRENT_USER, SettingsKey); }

void Set(const std::wstring& key, const std::wstring& value) {
    HKEY created = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, SettingsSectionKey, 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &created, nullptr) != ERROR_SUCCESS)
        return;
    const Key section(created);
    ::RegSetValueExW(section.get(), key.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::wstring> Get(const std::wstring& key) {
    wchar_t value[1024];
    DWORD bytes = sizeof value;
    if (::RegGetValueW(HKEY_CURRENT_USER, SettingsSectionKey, key.c_str(), RRF_RT_REG_SZ, nullptr,
                       value, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(value);
}

}  // namespace settings

std::vector<StandInStart> ReadStandInLog(const std::wstring& folder) {
    const std::vector<char> bytes = ReadBytes(folder + L"\\" + standin::LogFile);
    const std::string text(bytes.begin(), bytes.end());
    std::vector<StandInStart> starts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::vector<std::string> fields =
            Split(text.substr(start, end - start), standin::LogSeparator);
        if (fields.size() != 6) continue;
        StandInStart entry;
        entry.exe = FromUtf8(fields[0]);
        entry.pid = static_cast<DWORD>(std::stoul(fields[1]));
        entry.flags = static_cast<DWORD>(std::stoul(fields[2]));
        entry.show = std::stoi(fields[3]);
        entry.version = fields[4];
        entry.commandLine = FromUtf8(fields[5]);
        starts.push_back(entry);
    }
    return starts;
}

std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    return name;
}

namespace {

struct WindowSearch {
    DWORD pid;
    const std::wstring* className;
    HWND found;
};

// Enumeration callbacks are named functions: only a CALLBACK function has the calling
// convention 32-bit Windows expects, and GCC gives a lambda none.
BOOL CALLBACK MatchTopLevelWindow(HWND window, LPARAM context) {
    auto& s = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != s.pid || ClassOf(window) != *s.className) return TRUE;
    s.found = window;
    return FALSE;
}

BOOL CALLBACK MatchPromptText(HWND child, LPARAM context) {
    auto& s = *reinterpret_cast<MessageBoxSeen*>(context);
    if (Lower(ClassOf(child)) != L"static") return TRUE;
    const std::wstring text = WindowText(child);
    if (text.empty()) return TRUE;
    s.text = text;
    return FALSE;
}

}  // namespace

HWND FindTopLevelWindow(DWORD pid, const std::wstring& className) {
    WindowSearch search{pid, &className, nullptr};
    ::EnumWindows(MatchTopLevelWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::optional<MessageBoxSeen> FindMessageBox(DWORD pid) {
    const HWND box = FindTopLevelWindow(pid, L"#32770");
    if (box == nullptr || !::IsWindowVisible(box)) return std::nullopt;
    MessageBoxSeen seen{box, WindowText(box), {}};
    // The prompt is the box's one static control with text; the icon is a static without.
    ::EnumChildWindows(box, MatchPromptText, reinterpret_cast<LPARAM>(&seen));
    return seen;
}

void PressOk(HWND box) { ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

void KillProcessesIn(const std::wstring& folder) {
    const std::wstring prefix = Lower(folder.back() == L'\\' ? folder : folder + L"\\");
    const Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    std::vector<Handle> ending;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        const HANDLE opened =
            ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                          FALSE, entry.th32ProcessID);
        if (opened == nullptr) continue;
        Handle process(opened);
        const std::optional<std::wstring> image = ImagePathOf(process.get());
        if (!image || Lower(*image).rfind(prefix, 0) != 0) continue;
        ::TerminateProcess(process.get(), 1);
        ending.push_back(std::move(process));
    }
    for (const Handle& process : ending) ::WaitForSingleObject(process.get(), ProcessEndMs);
}

}  // namespace winetest
