// The Win32 binding of the supervisor's platform calls, exercised directly under Wine.
#include <gtest/gtest.h>

#include "RuntimeError.h"
#include "Win32Platform.h"
#include "WineSupport.h"

namespace {

using zorpa::RuntimeError;
using zorpa::win32::Win32Platform;

TEST(Binding, ConvertsNumbersInTheUserFormat) {
    Win32Platform platform;
    struct Int16Case {
        const wchar_t* text;
        std::optional<std::int16_t> expected;
    };
    const Int16Case int16Cases[] = {
        {L" 10", 10}, {L"10.5", 10},          {L"11.5", 12},          {L"-2.5", -2},
        {L"abc", {}}, {L"40000", {}},         {L"32768", {}},         {L"", {}},
        {L"-32768", -32768},
    };
    for (const Int16Case& c : int16Cases) {
        SCOPED_TRACE(testing::Message() << "text \"" << c.text << "\"");
        EXPECT_EQ(platform.ToInt16(c.text), c.expected);
    }

    struct DoubleCase {
        const wchar_t* text;
        std::optional<double> expected;
    };
    const DoubleCase doubleCases[] = {
        {L"1", 1.0}, {L"01", 1.0}, {L" 1", 1.0}, {L"1.0", 1.0}, {L"0", 0.0},
        {L"2", 2.0}, {L"-1", -1.0}, {L"", {}},   {L"abc", {}},  {L" ", {}},
    };
    for (const DoubleCase& c : doubleCases) {
        SCOPED_TRACE(testing::Message() << "text \"" << c.text << "\"");
        EXPECT_EQ(platform.ToDouble(c.text), c.expected);
    }
}

TEST(Binding, FindsOnlyPlainFilesAndReportsUnlistableFolders) {
    Win32Platform platform;
    const std::wstring folder = winetest::MakeTempFolder(L"binding-files");
    struct FileCase {
        const wchar_t* name;
        DWORD attributes;
        bool exists;
    };
    const FileCase cases[] = {
        {L"normal.exe", FILE_ATTRIBUTE_NORMAL, true},
        {L"archive.exe", FILE_ATTRIBUTE_ARCHIVE, true},
        {L"readonly.exe", FILE_ATTRIBUTE_READONLY, true},
        {L"hidden.exe", FILE_ATTRIBUTE_HIDDEN, false},
        {L"system.exe", FILE_ATTRIBUTE_SYSTEM, false},
    };
    for (const FileCase& c : cases) {
        const std::wstring path = folder + L"\\" + c.name;
        winetest::WriteText(path, "x");
        ASSERT_TRUE(::SetFileAttributesW(path.c_str(), c.attributes));
        SCOPED_TRACE(testing::Message() << "file " << c.name);
        EXPECT_EQ(platform.FileExists(path), c.exists);
    }
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\folder.exe").c_str(), nullptr));
    EXPECT_FALSE(platform.FileExists(folder + L"\\folder.exe"));
    EXPECT_FALSE(platform.FileExists(folder + L"\\missing.exe"));
    EXPECT_FALSE(platform.FileExists(folder + L"\\no such folder\\missing.exe"));
    try {
        platform.FileExists(folder + L"\\*.exe");
        ADD_FAILURE() << "a wildcard must not be listed";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), zorpa::ErrorNumber::BadFileName);
    }
    winetest::RemoveTree(folder);
}

TEST(Binding, CopyFailuresCarryTheirNumberAndBothPaths) {
    Win32Platform platform;
    const std::wstring folder = winetest::MakeTempFolder(L"binding-copy");
    const std::wstring source = folder + L"\\new.exe";
    const std::wstring target = folder + L"\\old.exe";
    winetest::WriteText(source, "new");
    winetest::WriteText(target, "old");

    platform.CopyFileOver(source, target);
    const std::vector<char> copied = winetest::ReadBytes(target);
    EXPECT_EQ(std::string(copied.begin(), copied.end()), "new");

    try {
        const winetest::WriteLock lock(target);
        ASSERT_TRUE(lock.Held());
        platform.CopyFileOver(source, target);
        ADD_FAILURE() << "a copy onto a file in use must fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), zorpa::ErrorNumber::PermissionDenied);
        EXPECT_NE(error.description().find(source), std::wstring::npos);
        EXPECT_NE(error.description().find(target), std::wstring::npos);
    }
    try {
        platform.CopyFileOver(folder + L"\\absent.exe", folder + L"\\copy.exe");
        ADD_FAILURE() << "a copy of a missing file must fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), zorpa::ErrorNumber::FileNotFound);
    }
    winetest::RemoveTree(folder);
}

TEST(Binding, SettingsIgnoreTheCaseOfTheApplicationName) {
    Win32Platform platform;
    winetest::settings::Reset();
    EXPECT_EQ(platform.ReadSetting(L"Velmo", L"Configuracion", L"AjusteZORPA"), std::nullopt);

    platform.WriteSetting(L"velmo", L"Configuracion", L"AjusteZORPA", L"7");
    EXPECT_EQ(platform.ReadSetting(L"Velmo", L"Configuracion", L"AjusteZORPA"),
              std::optional<std::wstring>(L"7"));
    EXPECT_EQ(winetest::settings::Get(L"AjusteZORPA"), std::optional<std::wstring>(L"7"));
    EXPECT_EQ(platform.ReadSetting(L"velmo", L"Configuracion", L"RutaServidor"), std::nullopt);

    winetest::settings::Set(L"RutaServidor", L"C:\\server");
    EXPECT_EQ(platform.ReadSetting(L"Velmo", L"configuracion", L"rutaservidor"),
              std::optional<std::wstring>(L"C:\\server"));
    winetest::settings::Reset();
}

TEST(Binding, ProgramFolderHasNoTrailingBackslash) {
    Win32Platform platform;
    EXPECT_EQ(platform.ProgramFolder(), winetest::BuildFolder());
}

}  // namespace
