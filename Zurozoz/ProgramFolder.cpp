#include "ProgramFolder.h"

#include <windows.h>

std::wstring ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::wstring();
        // A full buffer means the path was cut short: try again with more room.
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t lastSeparator = path.find_last_of(L'\\');
    if (lastSeparator == std::wstring::npos) return std::wstring();
    std::wstring folder = path.substr(0, lastSeparator);
    if (!folder.empty() && folder.back() == L':') folder += L'\\';
    return folder;
}
