#pragma once

#include <windows.h>

// What the stand-in worker and the tests that drive it agree on.
namespace standin {

inline constexpr const wchar_t* WindowClass = L"StandInWorker";
// One line per start: exe name, pid, STARTUPINFO flags, show style, version, command line.
inline constexpr const wchar_t* LogFile = L"standin-log.txt";
inline constexpr char LogSeparator = '\t';
inline constexpr const wchar_t* LateSuffix = L".late";
inline constexpr const wchar_t* NoWindowSuffix = L".nowindow";
// Posted to the stand-in's window: its message loop blocks for good.
inline constexpr UINT HangMessage = WM_APP + 1;

}  // namespace standin
