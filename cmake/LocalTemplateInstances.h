// Forced into every MinGW translation unit ahead of its own includes (WindowsRelease.cmake).
// libstdc++ otherwise declares std::string and std::wstring as instantiated in the library,
// and the program then links the library's object holding every member of the class, about
// 35 KB each on x86: the linker cannot drop the unused ones, as it keeps each object's unwind
// tables whole and those name every function in it. Instantiated here, a program carries only
// the members it calls.
#include <bits/c++config.h>
#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE 0
