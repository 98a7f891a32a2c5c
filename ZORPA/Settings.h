#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Platform.h"

namespace zorpa {

enum class SettingKey { RemplazarProgramas, ShutDown, Exit, Restart, AjusteZORPA, RutaServidor };

struct SettingInfo {
    SettingKey key;
    const wchar_t* name;
    // The site's programs spell the application "velmo" or "Velmo"; the store ignores case,
    // and each key keeps the spelling it has always been read and written with.
    const wchar_t* application;
    const wchar_t* defaultValue;
};

// Indexed by SettingKey.
inline constexpr std::array<SettingInfo, 6> SettingKeys{{
    {SettingKey::RemplazarProgramas, L"RemplazarProgramas", L"velmo", L"0"},
    {SettingKey::ShutDown, L"ShutDown", L"velmo", L"0"},
    {SettingKey::Exit, L"Exit", L"velmo", L"0"},
    {SettingKey::Restart, L"Restart", L"velmo", L"0"},
    {SettingKey::AjusteZORPA, L"AjusteZORPA", L"Velmo", L"10"},
    {SettingKey::RutaServidor, L"RutaServidor", L"Velmo", L"\\\\SERVIDOR\\Nuevos"},
}};

inline constexpr const wchar_t* NameOf(SettingKey key) {
    return SettingKeys[static_cast<std::size_t>(key)].name;
}

inline constexpr const wchar_t* SettingsSection = L"Configuracion";
// Parent key, under HKEY_CURRENT_USER, of every application's settings.
inline constexpr const wchar_t* SettingsParentKey = L"Software\\VB and VBA Program Settings";

// The four command flags, in the order start-up clears them.
inline constexpr std::array<SettingKey, 4> CommandFlags{SettingKey::RemplazarProgramas,
                                                        SettingKey::ShutDown, SettingKey::Exit,
                                                        SettingKey::Restart};

inline constexpr std::int16_t DefaultMissThreshold = 10;
inline constexpr const wchar_t* FlagCleared = L"0";

// The supervisor's view of the settings store.
class Settings {
public:
    explicit Settings(Platform& platform) : platform_(platform) {}

    // The stored string, or the key's default when it is not stored.
    std::wstring Read(SettingKey key);
    void Write(SettingKey key, const std::wstring& value);
    void ClearFlag(SettingKey key) { Write(key, FlagCleared); }

    // Set when the value converts to exactly 1; a value that does not convert is not set.
    bool IsFlagSet(SettingKey key);
    // AjusteZORPA as a 16-bit number; a value that does not convert gives the default.
    std::int16_t ReadMissThreshold();

private:
    Platform& platform_;
};

}  // namespace zorpa
