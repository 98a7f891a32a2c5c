// The Win32 binding of the supervisor's platform calls, exercised directly under Wine.
#include <gtest/gtest.h>

#include "MonotonicClock.h"
#include "RuntimeError.h"
#include "TerminalSite.h"
#include "Win32Handles.h"
#include "Win32Platform.h"
#include "WineSupport.h"
#include "frmZORPA.h"

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

// A worker's file is replaced as the update does it: copied beside it, then renamed over it.
void Replace(Win32Platform& platform, const std::wstring& from, const std::wstring& to) {
    platform.CopyToTemporary(from, to + L".new");
    platform.MoveFileOver(to + L".new", to);
}

TEST(Binding, CopyFailuresCarryTheirNumberTheWindowsErrorAndBothPaths) {
    Win32Platform platform;
    const std::wstring folder = winetest::MakeTempFolder(L"binding-copy");
    const std::wstring source = folder + L"\\new.exe";
    const std::wstring target = folder + L"\\old.exe";
    winetest::WriteText(source, "new");
    winetest::WriteText(target, "old");

    Replace(platform, source, target);
    const std::vector<char> copied = winetest::ReadBytes(target);
    EXPECT_EQ(std::string(copied.begin(), copied.end()), "new");
    EXPECT_FALSE(winetest::Exists(target + L".new"));

    try {
        const winetest::WriteLock lock(target);
        ASSERT_TRUE(lock.Held());
        Replace(platform, source, target);
        ADD_FAILURE() << "a copy onto a file in use must fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), zorpa::ErrorNumber::PermissionDenied);
        EXPECT_NE(error.windowsError(), 0u);
        EXPECT_NE(error.description().find(target + L".new"), std::wstring::npos);
        EXPECT_NE(error.description().find(target), std::wstring::npos);
    }
    platform.DeleteFileIfPresent(target + L".new");
    platform.DeleteFileIfPresent(target + L".new");  // already gone: nothing to do
    EXPECT_FALSE(winetest::Exists(target + L".new"));
    try {
        Replace(platform, folder + L"\\absent.exe", folder + L"\\copy.exe");
        ADD_FAILURE() << "a copy of a missing file must fail";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.number(), zorpa::ErrorNumber::FileNotFound);
        EXPECT_EQ(error.windowsError(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
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

TEST(Binding, EndsOnlyTheInstanceWithItsOwnCreationTimeAndWaitsForItsEnd) {
    winetest::TerminalSite site(winetest::MakeTempFolder(L"binding-end"));
    ASSERT_TRUE(site.InstallWorker(L"GANDRO.EXE"));
    Win32Platform platform;
    const zorpa::StartedProcess started = platform.StartProgram(site.PathOf(L"GANDRO.EXE"), 6);
    ASSERT_TRUE(site.WaitForStarts(1));
    const auto pid = static_cast<DWORD>(started.id);
    // Held open here, the ended process can still be opened by its id afterwards.
    const zorpa::win32::UniqueHandle held(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    // The same id with another creation time: a program that was later given the id.
    EXPECT_FALSE(platform.TerminateInstance({started.id, started.creationTime + 1}, 0));
    EXPECT_TRUE(site.IsRunning(pid));
    EXPECT_TRUE(platform.TerminateInstance(started, zorpa::frmZORPA::EndWaitMs));
    // Wine has ended the process, closed its handles and let go of its file by the time
    // TerminateProcess returns; only on Windows can this see a TerminateInstance that does
    // not wait.
    EXPECT_FALSE(site.IsRunning(pid));
    // An instance that has ended already is not said to be ended again.
    EXPECT_FALSE(platform.TerminateInstance(started, 0));
}

TEST(Binding, ClockWithoutGetTickCount64FollowsTheSystemsCount) {
    zorpa::win32::MonotonicClock xp(nullptr);  // as on Windows XP
    const DWORD tickStart = ::GetTickCount();
    const std::uint64_t start = xp.Milliseconds();
    ::Sleep(200);
    const auto span = static_cast<double>(xp.Milliseconds() - start);
    EXPECT_GE(span, 100.0);
    EXPECT_NEAR(span, static_cast<double>(::GetTickCount() - tickStart), 20.0);
}

TEST(Binding, ProgramFolderHasNoTrailingBackslash) {
    Win32Platform platform;
    EXPECT_EQ(platform.ProgramFolder(), winetest::BuildFolder());
}

}  // namespace
