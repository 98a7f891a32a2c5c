#include "Settings.h"

namespace zorpa {

namespace {
const SettingInfo& InfoOf(SettingKey key) { return SettingKeys[static_cast<std::size_t>(key)]; }
}  // namespace

std::wstring Settings::Read(SettingKey key) {
    const SettingInfo& info = InfoOf(key);
    return platform_.ReadSetting(info.application, SettingsSection, info.name)
        .value_or(info.defaultValue);
}

void Settings::Write(SettingKey key, const std::wstring& value) {
    const SettingInfo& info = InfoOf(key);
    platform_.WriteSetting(info.application, SettingsSection, info.name, value);
}

bool Settings::IsFlagSet(SettingKey key) {
    // Another program's typo must neither stop the supervisor nor count as a command.
    const std::optional<double> value = platform_.ToDouble(Read(key));
    return value && *value == 1.0;
}

std::int16_t Settings::ReadMissThreshold() {
    // A threshold that does not convert falls back to the default rather than leaving the
    // terminal without its workers.
    return platform_.ToInt16(Read(SettingKey::AjusteZORPA)).value_or(DefaultMissThreshold);
}

}  // namespace zorpa
