// The folder the running program was started from.
#pragma once

#include <string>

// Without a trailing backslash, except for a drive root ("C:\"), which keeps its own.
std::wstring ProgramFolder();
