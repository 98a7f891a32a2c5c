#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace winetest {

// How many handles a process holds, and how that was measured. GetProcessHandleCount is
// asked first; Wine 8 answers it with 0 for every process, so then the system's handle
// table (NtQuerySystemInformation, extended handle information) is counted instead.
struct HandleCount {
    ULONG handles = 0;
    std::string measure;
};
std::optional<HandleCount> CountHandles(DWORD pid);

}  // namespace winetest
