// The per-user settings store, and numbers read in the user's number format.
#include "Win32Platform.h"

#include <oleauto.h>

#include <vector>

#include "Settings.h"
#include "Win32Error.h"
#include "Win32Handles.h"

namespace zorpa::win32 {

namespace {

std::wstring SettingsKeyPath(const std::wstring& application, const std::wstring& section) {
    return std::wstring(SettingsParentKey) + L"\\" + application + L"\\" + section;
}

}  // namespace

std::optional<std::wstring> Win32Platform::ReadSetting(const std::wstring& application,
                                                       const std::wstring& section,
                                                       const std::wstring& key) {
    HKEY opened = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKeyPath(application, section).c_str(), 0,
                        KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
        return std::nullopt;
    const UniqueKey settings(opened);
    // Another program may rewrite the value between the two queries: retry with the new size.
    for (;;) {
        DWORD type = 0;
        DWORD bytes = 0;
        if (::RegQueryValueExW(settings.get(), key.c_str(), nullptr, &type, nullptr, &bytes) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return std::nullopt;
        std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
        const LSTATUS status = ::RegQueryValueExW(settings.get(), key.c_str(), nullptr, &type,
                                                  reinterpret_cast<BYTE*>(data.data()), &bytes);
        if (status == ERROR_MORE_DATA) continue;
        if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
        // The stored string may or may not carry its terminating null.
        std::wstring value(data.data(), bytes / sizeof(wchar_t));
        const std::size_t end = value.find(L'\0');
        if (end != std::wstring::npos) value.erase(end);
        return value;
    }
}

void Win32Platform::WriteSetting(const std::wstring& application, const std::wstring& section,
                                 const std::wstring& key, const std::wstring& value) {
    const std::wstring path = SettingsKeyPath(application, section);
    HKEY created = nullptr;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                       REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &created,
                                       nullptr);
    if (status != ERROR_SUCCESS)
        ThrowWin32Error(ErrorNumber::PathFileAccess,
                        L"Cannot open the settings key " + Quoted(path), static_cast<DWORD>(status));
    const UniqueKey settings(created);
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    status = ::RegSetValueExW(settings.get(), key.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    if (status != ERROR_SUCCESS)
        ThrowWin32Error(ErrorNumber::PathFileAccess,
                        L"Cannot write the setting " + Quoted(path + L"\\" + key),
                        static_cast<DWORD>(status));
}

// Some SDKs declare the input of the conversions writable: hand them a copy.
std::optional<double> Win32Platform::ToDouble(const std::wstring& text) {
    std::wstring input = text;
    double value = 0;
    if (FAILED(::VarR8FromStr(input.data(), LOCALE_USER_DEFAULT, 0, &value))) return std::nullopt;
    return value;
}

std::optional<std::int16_t> Win32Platform::ToInt16(const std::wstring& text) {
    std::wstring input = text;
    SHORT value = 0;
    if (FAILED(::VarI2FromStr(input.data(), LOCALE_USER_DEFAULT, 0, &value))) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

}  // namespace zorpa::win32
