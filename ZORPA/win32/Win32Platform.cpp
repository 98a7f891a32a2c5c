#include "Win32Platform.h"

#include <oleauto.h>

#include <exception>
#include <vector>

#include "Settings.h"
#include "Win32Error.h"
#include "Win32Handles.h"

namespace zorpa::win32 {

namespace {

// The access the site's programs have always asked for when ending another program.
constexpr DWORD AllProcessAccess = 0x1F0FFF;
constexpr DWORD ReadyQueryAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION;
constexpr std::size_t CopyBufferBytes = 64 * 1024;

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

std::uint64_t CreationTimeOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

bool IsMissingFileError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsAccessError(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

// How a folder that cannot be listed is reported: an unreachable server or share, a drive
// that is not ready, or a malformed name each keep the number support staff know for it.
int ListingErrorNumber(DWORD error) {
    switch (error) {
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_READY:
    case ERROR_NETWORK_UNREACHABLE:
        return ErrorNumber::DeviceUnavailable;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
        return ErrorNumber::BadFileName;
    default:
        return ErrorNumber::PathFileAccess;
    }
}

// A failed copy, rename or delete: the number support staff know for its cause.
int FileErrorNumber(DWORD error) {
    if (IsAccessError(error)) return ErrorNumber::PermissionDenied;
    if (IsMissingFileError(error)) return ErrorNumber::FileNotFound;
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return ErrorNumber::DiskFull;
    return ListingErrorNumber(error);
}

[[noreturn]] void ThrowFileError(const std::wstring& action, DWORD error) {
    ThrowWin32Error(FileErrorNumber(error), action, error);
}

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The file operations act on one file of a fixed name: a wildcard would make them match others.
void RejectWildcards(const std::wstring& path, const std::wstring& action) {
    if (path.find_first_of(L"*?") != std::wstring::npos)
        ThrowWin32Error(ErrorNumber::BadFileName, action, ERROR_INVALID_NAME);
}

// Deletes a file being written unless it was completed; declared before the file's handle,
// so that the handle is closed first.
class DeleteUnlessKept {
public:
    explicit DeleteUnlessKept(const std::wstring& path) : path_(path) {}
    ~DeleteUnlessKept() {
        if (!kept_) ::DeleteFileW(path_.c_str());
    }
    DeleteUnlessKept(const DeleteUnlessKept&) = delete;
    DeleteUnlessKept& operator=(const DeleteUnlessKept&) = delete;
    void Keep() { kept_ = true; }

private:
    std::wstring path_;
    bool kept_ = false;
};

std::wstring SettingsKeyPath(const std::wstring& application, const std::wstring& section) {
    return std::wstring(SettingsParentKey) + L"\\" + application + L"\\" + section;
}

struct EnumContext {
    const std::function<bool(WindowHandle)>* visit;
    std::exception_ptr failure;
};

// Exceptions must not unwind through EnumWindows: park them and rethrow once it has returned.
BOOL CALLBACK VisitWindow(HWND window, LPARAM context) {
    auto& enumeration = *reinterpret_cast<EnumContext*>(context);
    try {
        return (*enumeration.visit)(reinterpret_cast<WindowHandle>(window)) ? TRUE : FALSE;
    } catch (...) {
        enumeration.failure = std::current_exception();
        return FALSE;
    }
}

}  // namespace

StartedProcess Win32Platform::StartProgram(const std::wstring& path, int showStyle) {
    // The application name is given as well, and the command line quoted, so that a folder
    // with blanks never starts a program named after the first part of the path.
    std::wstring commandLine = Quoted(path);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showStyle);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info)) {
        const DWORD error = ::GetLastError();
        const int number = IsMissingFileError(error) ? ErrorNumber::FileNotFound
                           : IsAccessError(error)    ? ErrorNumber::PermissionDenied
                                                     : ErrorNumber::PathFileAccess;
        ThrowWin32Error(number, L"Cannot start " + Quoted(path), error);
    }
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    return {static_cast<ProcessId>(info.dwProcessId), CreationTimeOf(process.get())};
}

void Win32Platform::WaitUntilReady(const StartedProcess& process, std::uint32_t timeoutMs) {
    const UniqueHandle handle(
        ::OpenProcess(ReadyQueryAccess, FALSE, static_cast<DWORD>(process.id)));
    if (!handle || CreationTimeOf(handle.get()) != process.creationTime) return;
    ::WaitForInputIdle(handle.get(), timeoutMs);
}

void Win32Platform::TerminateInstance(const StartedProcess& process, std::uint32_t waitForEndMs) {
    const UniqueHandle handle(
        ::OpenProcess(AllProcessAccess, FALSE, static_cast<DWORD>(process.id)));
    if (!handle || CreationTimeOf(handle.get()) != process.creationTime) return;
    ::TerminateProcess(handle.get(), 0);
    // Also when the termination failed because the process was already ending.
    if (waitForEndMs > 0) ::WaitForSingleObject(handle.get(), waitForEndMs);
}

void Win32Platform::EnumerateTopLevelWindows(const std::function<bool(WindowHandle)>& visit) {
    EnumContext context{&visit, nullptr};
    ::EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&context));
    if (context.failure) std::rethrow_exception(context.failure);
}

bool Win32Platform::GetWindowProcessId(WindowHandle window, ProcessId& id) {
    DWORD owner = 0;
    if (::GetWindowThreadProcessId(ToHwnd(window), &owner) == 0) return false;
    id = static_cast<ProcessId>(owner);
    return true;
}

bool Win32Platform::SendNullWithTimeout(WindowHandle window, std::uint32_t timeoutMs) {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutA(ToHwnd(window), WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs,
                                 &result) != 0;
}

double Win32Platform::SecondsSinceMidnight() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    return now.wHour * 3600.0 + now.wMinute * 60.0 + now.wSecond + now.wMilliseconds / 1000.0;
}

std::uint64_t Win32Platform::MonotonicMilliseconds() { return clock_.Milliseconds(); }

// One reading of the clock, turned into local time with the offset in force at that moment.
LocalTime Win32Platform::LocalTimeNow() {
    FILETIME utc{};
    ::GetSystemTimeAsFileTime(&utc);
    FILETIME local{};
    SYSTEMTIME fields{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &fields)) {
        local = utc;
        ::FileTimeToSystemTime(&utc, &fields);
    }
    constexpr std::int64_t HundredNanosecondsPerMinute = 600000000;
    const auto ticks = [](const FILETIME& time) {
        return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                         time.dwLowDateTime);
    };
    return {fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
            fields.wSecond, fields.wMilliseconds,
            static_cast<int>((ticks(local) - ticks(utc)) / HundredNanosecondsPerMinute)};
}

void Win32Platform::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::wstring Win32Platform::ProgramFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) ThrowWin32Error(ErrorNumber::PathFileAccess,
                                         L"Cannot find the program's own folder", ::GetLastError());
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            const std::size_t slash = path.find_last_of(L'\\');
            if (slash == std::wstring::npos) return path;
            // A drive root keeps its backslash ("C:\\"); any other folder is returned without.
            const bool driveRoot = slash > 0 && path[slash - 1] == L':';
            path.erase(driveRoot ? slash + 1 : slash);
            return path;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool Win32Platform::FileExists(const std::wstring& path) {
    RejectWildcards(path, L"Cannot look for " + Quoted(path));
    WIN32_FIND_DATAW found{};
    const HANDLE first = ::FindFirstFileW(path.c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (IsMissingFileError(error) || error == ERROR_NO_MORE_FILES) return false;
        ThrowWin32Error(ListingErrorNumber(error), L"Cannot look for " + Quoted(path), error);
    }
    const UniqueFind listing(first);
    constexpr DWORD NotAPlainFile =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    return (found.dwFileAttributes & NotAPlainFile) == 0;
}

std::uint64_t Win32Platform::CopyToTemporary(const std::wstring& from,
                                             const std::wstring& temporary) {
    const std::wstring action = L"Cannot copy " + Quoted(from) + L" to " + Quoted(temporary);
    // Others may read the server's file meanwhile, nobody may write it.
    const UniqueHandle source(::CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (source.get() == INVALID_HANDLE_VALUE) ThrowFileError(action, ::GetLastError());
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(source.get(), &size)) ThrowFileError(action, ::GetLastError());

    DeleteUnlessKept partial(temporary);
    UniqueHandle target(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (target.get() == INVALID_HANDLE_VALUE) ThrowFileError(action, ::GetLastError());
    std::vector<char> buffer(CopyBufferBytes);
    std::uint64_t copied = 0;
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read,
                        nullptr))
            ThrowFileError(action, ::GetLastError());
        if (read == 0) break;
        DWORD written = 0;
        if (!::WriteFile(target.get(), buffer.data(), read, &written, nullptr))
            ThrowFileError(action, ::GetLastError());
        copied += written;
    }
    // A file that the server shortened or extended while it was read is not the new version.
    const auto expected = static_cast<std::uint64_t>(size.QuadPart);
    if (copied != expected)
        throw RuntimeError(ErrorNumber::PathFileAccess,
                           action + L": " + std::to_wstring(copied) + L" bytes copied of " +
                               std::to_wstring(expected));
    // On the disk before the rename makes it the program: a power cut must not leave a
    // file of the right size full of zeros.
    if (!::FlushFileBuffers(target.get())) ThrowFileError(action, ::GetLastError());
    if (!::CloseHandle(target.release())) ThrowFileError(action, ::GetLastError());
    partial.Keep();
    return copied;
}

void Win32Platform::MoveFileOver(const std::wstring& from, const std::wstring& to) {
    // Never MOVEFILE_COPY_ALLOWED: a copy would write over `to` in place again.
    if (!::MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        ThrowFileError(L"Cannot rename " + Quoted(from) + L" to " + Quoted(to), ::GetLastError());
}

void Win32Platform::DeleteFileIfPresent(const std::wstring& path) {
    const std::wstring action = L"Cannot delete " + Quoted(path);
    RejectWildcards(path, action);
    if (::DeleteFileW(path.c_str())) return;
    const DWORD error = ::GetLastError();
    if (!IsMissingFileError(error)) ThrowFileError(action, error);
}

// Opened for appending only, so every write lands at the end even when another program
// appends too, and with all sharing, so that Notepad can show it and it can be renamed.
AppendResult Win32Platform::AppendToFile(const std::wstring& path, const std::string& bytes) {
    const UniqueHandle file(::CreateFileW(
        path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return {::GetLastError(), 0};
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
        return {::GetLastError(), 0};
    if (written != bytes.size()) return {ERROR_DISK_FULL, 0};
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return {0, 0};
    return {0, static_cast<std::uint64_t>(size.QuadPart)};
}

std::wstring Win32Platform::ErrorText(std::uint32_t error) { return SystemErrorText(error); }

std::optional<std::wstring> Win32Platform::ReadSetting(const std::wstring& application,
                                                       const std::wstring& section,
                                                       const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKeyPath(application, section).c_str(), 0,
                        KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const UniqueKey settings(opened);
    // Another program may rewrite the value between the two queries: retry with the new size.
    for (;;) {
        DWORD type = 0;
        DWORD bytes = 0;
        if (::RegQueryValueExW(settings.get(), key.c_str(), nullptr, &type, nullptr, &bytes) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return std::nullopt;
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
        const LSTATUS status = ::RegQueryValueExW(settings.get(), key.c_str(), nullptr, &type,
                                                  reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
        // The stored string may or may not carry its terminating null.
        std::wstring value(data.data(), bytes / sizeof(wchar_t));
        const std::size_t end = value.find(L'\0');
        if (end != std::wstring::npos) value.erase(end);
        return value;
    }
}

void Win32Platform::WriteSetting(const std::wstring& application, const std::wstring& section,
                                 const std::wstring& key, const std::wstring& value) {
    const std::wstring path = SettingsKeyPath(application, section);
    HKEY created = nullptr;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &created,
                                       nullptr);
    if (status != ERROR_SUCCESS)
        ThrowWin32Error(ErrorNumber::PathFileAccess,
                        L"Cannot open the settings key " + Quoted(path), static_cast<DWORD>(status));
    const UniqueKey settings(created);
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    status = ::RegSetValueExW(settings.get(), key.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    if (status != ERROR_SUCCESS)
        ThrowWin32Error(ErrorNumber::PathFileAccess,
                        L"Cannot write the setting " + Quoted(path + L"\\" + key),
                        static_cast<DWORD>(status));
}

// Some SDKs declare the input of the conversions writable: hand them a copy.
std::optional<double> Win32Platform::ToDouble(const std::wstring& text) {
    std::wstring input = text;
    double value = 0;
    if (FAILED(::VarR8FromStr(input.data(), LOCALE_USER_DEFAULT, 0, &value))) return std::nullopt;
    return value;
}

std::optional<std::int16_t> Win32Platform::ToInt16(const std::wstring& text) {
    std::wstring input = text;
    SHORT value = 0;
    if (FAILED(::VarI2FromStr(input.data(), LOCALE_USER_DEFAULT, 0, &value))) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

void Win32Platform::ShowMessage(const std::wstring& prompt, const std::wstring& title,
                                MessageIcon icon) {
    UINT style = MB_OK;
    if (icon == MessageIcon::Exclamation) style |= MB_ICONEXCLAMATION;
    if (icon == MessageIcon::Critical) style |= MB_ICONERROR;
    ::MessageBoxW(nullptr, prompt.c_str(), title.c_str(), style);
}

void Win32Platform::HideForm() {
    if (form_ != nullptr) ::ShowWindow(form_, SW_HIDE);
}

void Win32Platform::EndProgram() { ::ExitProcess(0); }

}  // namespace zorpa::win32
