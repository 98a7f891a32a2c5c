// Starting, waiting for and ending the workers, and their windows.
#include "Win32Platform.h"

#include <exception>

#include "Win32Error.h"
#include "Win32Handles.h"

namespace zorpa::win32 {

namespace {

// The access the site's programs have always asked for when ending another program.
constexpr DWORD AllProcessAccess = 0x1F0FFF;
constexpr DWORD ReadyQueryAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION;

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

std::uint64_t CreationTimeOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
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
                          nullptr, &startup, &info))
        ThrowWin32Error(FailedCall::StartProgram, L"Cannot start " + Quoted(path),
                        ::GetLastError());
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

bool Win32Platform::TerminateInstance(const StartedProcess& process, std::uint32_t waitForEndMs) {
    const UniqueHandle handle(
        ::OpenProcess(AllProcessAccess, FALSE, static_cast<DWORD>(process.id)));
    if (!handle || CreationTimeOf(handle.get()) != process.creationTime) return false;
    // An instance that has ended by itself can still be opened while a handle to it is open
    // somewhere: the record must not say the supervisor ended it.
    const bool running = ::WaitForSingleObject(handle.get(), 0) == WAIT_TIMEOUT;
    const bool ended = running && ::TerminateProcess(handle.get(), 0);
    // Also when the termination failed because the process was already ending.
    if (waitForEndMs > 0) ::WaitForSingleObject(handle.get(), waitForEndMs);
    return ended;
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

// A 32-bit supervisor on 64-bit Windows runs under WOW64; Windows XP before SP2 lacks the
// function that says so, and is 32-bit anyway.
bool Win32Platform::Is64BitWindows() {
#ifdef _WIN64
    return true;
#else
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
    const auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace zorpa::win32
