// A stand-in for the four worker programs. It records how it was started, in one line of
// standin-log.txt in its folder, then opens one window shown with the style it was given.
// Files beside it, named after it, change that: NAME.late holds milliseconds to wait before
// the window is created, NAME.nowindow means it never creates one. Posting HangMessage to
// its window blocks its message loop for good, as a hung worker does. Built with
// STANDIN_ENDS_AT_ONCE, it ends right after recording its start, as a broken build does.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "StandInProtocol.h"

namespace {

std::wstring OwnPath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                          size, nullptr, nullptr);
    return result;
}

struct OwnedHandle {
    HANDLE handle;
    ~OwnedHandle() {
        if (handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
    }
};

// Several stand-ins start within milliseconds of each other: the whole-file lock keeps
// their lines from interleaving.
void AppendLine(const std::wstring& logPath, const std::string& line) {
    const OwnedHandle file{::CreateFileW(logPath.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return;
    OVERLAPPED whole{};
    if (!::LockFileEx(file.handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) return;
    ::SetFilePointer(file.handle, 0, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(file.handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::UnlockFileEx(file.handle, 0, MAXDWORD, MAXDWORD, &whole);
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD ReadMilliseconds(const std::wstring& path) {
    const OwnedHandle file{::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (file.handle == INVALID_HANDLE_VALUE) return 0;
    char text[32] = {};
    DWORD read = 0;
    ::ReadFile(file.handle, text, sizeof text - 1, &read, nullptr);
    return static_cast<DWORD>(std::strtoul(text, nullptr, 10));
}

LRESULT CALLBACK WorkerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case standin::HangMessage:
        for (;;) ::Sleep(INFINITE);
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

int RunMessageLoop() {
    MSG message{};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    const std::wstring path = OwnPath();
    const std::size_t slash = path.find_last_of(L'\\');
    const std::wstring folder = path.substr(0, slash);
    const std::wstring name = path.substr(slash + 1);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ::GetStartupInfoW(&startup);
    const char separator = standin::LogSeparator;
    AppendLine(folder + L"\\" + standin::LogFile,
               ToUtf8(name) + separator + std::to_string(::GetCurrentProcessId()) + separator +
                   std::to_string(startup.dwFlags) + separator +
                   std::to_string(startup.wShowWindow) + separator + STANDIN_VERSION + separator +
                   ToUtf8(::GetCommandLineW()) + "\n");
#ifdef STANDIN_ENDS_AT_ONCE
    return 1;
#endif

    if (Exists(path + standin::NoWindowSuffix)) return RunMessageLoop();
    ::Sleep(ReadMilliseconds(path + standin::LateSuffix));

    WNDCLASSEXW workerClass{};
    workerClass.cbSize = sizeof workerClass;
    workerClass.lpfnWndProc = WorkerProc;
    workerClass.hInstance = instance;
    workerClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    workerClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    workerClass.lpszClassName = standin::WindowClass;
    ::RegisterClassExW(&workerClass);
    const HWND window = ::CreateWindowExW(0, standin::WindowClass, name.c_str(),
                                          WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 320,
                                          200, nullptr, nullptr, instance, nullptr);
    ::ShowWindow(window, showCommand);
    return RunMessageLoop();
}
