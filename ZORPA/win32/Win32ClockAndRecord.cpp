// The clocks, and the supervisor's record file.
#include "Win32Platform.h"

#include "Win32Error.h"
#include "Win32Handles.h"

namespace zorpa::win32 {

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

}  // namespace zorpa::win32
