// The cheapest launcher of a terminal's four workers, the yardstick for the supervisor's
// start-up: from its own folder it starts them in the supervisor's order, with the
// supervisor's show styles and quoted command lines, waits for each to be ready as the
// supervisor does, and ends. Plain Win32 and no C++ library, so that it loads fast.
#include <windows.h>

namespace {

struct Worker {
    const wchar_t* file;
    WORD showStyle;
};
constexpr Worker Workers[] = {
    {L"\\GANDRO.EXE", SW_MINIMIZE},
    {L"\\FENDA_IMPRESION.EXE", SW_MINIMIZE},
    {L"\\FENDA_TICKETS.EXE", SW_MINIMIZE},
    {L"\\TULVAN.EXE", SW_SHOWMAXIMIZED},
};
constexpr DWORD ReadyTimeoutMs = 5000;
constexpr DWORD PathChars = MAX_PATH * 2;

// Appends `text` to the string in `buffer` (`used` characters); false when it would not fit.
bool Append(wchar_t* buffer, DWORD& used, const wchar_t* text) {
    for (; *text != L'\0'; ++text) {
        if (used + 1 >= PathChars) return false;
        buffer[used++] = *text;
    }
    buffer[used] = L'\0';
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t folder[PathChars];
    DWORD folderChars = ::GetModuleFileNameW(nullptr, folder, PathChars);
    if (folderChars == 0 || folderChars >= PathChars) return 1;
    while (folderChars > 0 && folder[folderChars - 1] != L'\\') --folderChars;
    if (folderChars == 0) return 1;
    folder[--folderChars] = L'\0';

    for (const Worker& worker : Workers) {
        wchar_t path[PathChars] = L"";
        wchar_t commandLine[PathChars] = L"";
        DWORD pathChars = 0;
        DWORD commandChars = 0;
        if (!Append(path, pathChars, folder) || !Append(path, pathChars, worker.file) ||
            !Append(commandLine, commandChars, L"\"") ||
            !Append(commandLine, commandChars, path) || !Append(commandLine, commandChars, L"\""))
            return 1;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = worker.showStyle;
        PROCESS_INFORMATION info{};
        if (!::CreateProcessW(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &info))
            return 1;
        ::WaitForInputIdle(info.hProcess, ReadyTimeoutMs);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
    return 0;
}
