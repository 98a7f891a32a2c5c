#include "HandleCount.h"

#include <vector>

#include "Win32Handles.h"

namespace winetest {

namespace {

// The system information class and status codes of ntdll that the SDK headers leave out.
constexpr ULONG SystemExtendedHandleInformation = 64;
constexpr LONG StatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
constexpr std::size_t InitialTableBytes = 64 * 1024;

struct HandleEntry {
    PVOID object;
    ULONG_PTR processId;
    ULONG_PTR handleValue;
    ULONG grantedAccess;
    USHORT creatorBackTraceIndex;
    USHORT objectTypeIndex;
    ULONG handleAttributes;
    ULONG reserved;
};

struct HandleTable {
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleEntry entries[1];
};

using QuerySystemInformation = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);

std::optional<ULONG> CountInSystemTable(DWORD pid) {
    const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return std::nullopt;
    std::vector<ULONG_PTR> buffer(InitialTableBytes / sizeof(ULONG_PTR));
    LONG status;
    for (;;) {
        ULONG needed = 0;
        const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof(ULONG_PTR));
        status = query(SystemExtendedHandleInformation, buffer.data(), bytes, &needed);
        if (status != StatusInfoLengthMismatch) break;
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) return std::nullopt;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    ULONG handles = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i)
        if (table->entries[i].processId == pid) ++handles;
    return handles;
}

}  // namespace

std::optional<HandleCount> CountHandles(DWORD pid) {
    const zorpa::win32::UniqueHandle process(
        ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
    if (!process) return std::nullopt;
    DWORD handles = 0;
    // Every live process holds some handles: 0 means the count is not really implemented.
    if (::GetProcessHandleCount(process.get(), &handles) && handles > 0)
        return HandleCount{handles, "GetProcessHandleCount"};
    const std::optional<ULONG> counted = CountInSystemTable(pid);
    if (!counted) return std::nullopt;
    return HandleCount{*counted, "system handle table"};
}

}  // namespace winetest
