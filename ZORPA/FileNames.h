#pragma once

#include <string>

namespace zorpa {

// Windows compares file names without regard to case; the names the supervisor compares are
// ASCII, and a fold of ASCII letters alone needs nothing of the C library's locale.
inline wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

inline bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    return true;
}

}  // namespace zorpa
