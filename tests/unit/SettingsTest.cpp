#include <gtest/gtest.h>

#include "Settings.h"
#include "SimPlatform.h"

using zorpa::SettingKey;

namespace {

struct SettingsTest : ::testing::Test {
    sim::SimPlatform sim;
    zorpa::Settings settings{sim};
};

TEST_F(SettingsTest, EmptyStoreGivesTheDefaults) {
    EXPECT_EQ(settings.ReadMissThreshold(), 10);
    EXPECT_EQ(settings.Read(SettingKey::RutaServidor), L"\\\\SERVIDOR\\Nuevos");
    for (SettingKey flag : zorpa::CommandFlags) EXPECT_FALSE(settings.IsFlagSet(flag));
}

TEST_F(SettingsTest, ThresholdConvertsLikeTheSitesProgramsOrFallsBackToTen) {
    const std::pair<const wchar_t*, int> table[] = {
        {L" 10", 10}, {L"10.5", 10}, {L"11.5", 12}, {L"3", 3},     {L"0", 0},
        {L"-4", -4},  {L"abc", 10},  {L"", 10},     {L"40000", 10}, {L"32767", 32767}};
    for (const auto& [text, expected] : table) {
        sim.SetSetting(L"AjusteZORPA", text);
        EXPECT_EQ(settings.ReadMissThreshold(), expected) << "AjusteZORPA=\"" << sim.Narrow(text) << '"';
    }
}

TEST_F(SettingsTest, FlagIsSetOnlyWhenItsValueIsExactlyOne) {
    const std::pair<const wchar_t*, bool> table[] = {
        {L"1", true},  {L" 1", true}, {L"01", true},  {L"1.0", true}, {L"0", false},
        {L"2", false}, {L"-1", false}, {L"", false}, {L"si", false}, {L"1.5", false}};
    for (const auto& [text, expected] : table) {
        sim.SetSetting(L"Restart", text);
        EXPECT_EQ(settings.IsFlagSet(SettingKey::Restart), expected) << "Restart=\"" << sim.Narrow(text) << '"';
    }
}

TEST_F(SettingsTest, KeysWrittenUnderEitherSpellingOfTheApplicationMeet) {
    sim.WriteSetting(L"velmo", L"Configuracion", L"AjusteZORPA", L"3");
    sim.WriteSetting(L"VELMO", L"configuracion", L"rutaservidor", L"\\\\OTRO\\Nuevos");
    EXPECT_EQ(settings.ReadMissThreshold(), 3);
    EXPECT_EQ(settings.Read(SettingKey::RutaServidor), L"\\\\OTRO\\Nuevos");

    settings.ClearFlag(SettingKey::ShutDown);
    EXPECT_EQ(sim.ReadSetting(L"Velmo", L"Configuracion", L"ShutDown"), L"0");
}

}  // namespace
