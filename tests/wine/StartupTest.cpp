// ZORPA.exe starting its workers under Wine, observed through the stand-ins' log,
// the settings store and the supervisor's windows.
#include <gtest/gtest.h>

#include "TerminalSite.h"

namespace {

using namespace winetest;

constexpr DWORD MessageBoxTimeoutMs = 10000;
constexpr DWORD EndTimeoutMs = 5000;
const std::vector<std::wstring> CommandFlags{L"RemplazarProgramas", L"ShutDown", L"Exit",
                                             L"Restart"};

class Startup : public testing::Test {
protected:
    void SetUp() override { settings::Reset(); }
    void TearDown() override { settings::Reset(); }
};

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// Each worker started once, in order, with the given styles, from `site`'s folder.
void ExpectStartedInOrder(TerminalSite& site, const std::wstring& folderAsBuilt) {
    ASSERT_TRUE(site.WaitForStarts(WorkerFiles.size()));
    const std::vector<StandInStart> starts = site.Starts();
    ASSERT_EQ(starts.size(), WorkerFiles.size());
    const int styles[] = {6, 6, 6, 3};
    for (std::size_t i = 0; i < starts.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "start " << i);
        EXPECT_EQ(starts[i].exe, WorkerFiles[i]);
        EXPECT_EQ(starts[i].flags & STARTF_USESHOWWINDOW, DWORD{STARTF_USESHOWWINDOW});
        EXPECT_EQ(starts[i].show, styles[i]);
        EXPECT_EQ(starts[i].commandLine, Quoted(folderAsBuilt + L"\\" + WorkerFiles[i]));
    }
}

TEST_F(Startup, StartsTheWorkersInOrderClearsTheFlagsAndHidesTheForm) {
    for (const std::wstring& flag : CommandFlags) settings::Set(flag, L"1");
    TerminalSite site(MakeTempFolder(L"startup"));
    ASSERT_TRUE(site.InstallWorkers());
    ASSERT_TRUE(site.StartSupervisor());

    ExpectStartedInOrder(site, site.Folder());
    for (const std::wstring& flag : CommandFlags) {
        SCOPED_TRACE(testing::Message() << "flag " << flag);
        EXPECT_EQ(settings::Get(flag), std::optional<std::wstring>(L"0"));
    }
    for (const StandInStart& start : site.Starts()) EXPECT_TRUE(site.IsRunning(start.pid));

    const HWND form = site.Form();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(WindowText(form), L"Form1");
    EXPECT_FALSE(::IsWindowVisible(form));
    RECT client{};
    ASSERT_TRUE(::GetClientRect(form, &client));
    // 1755 x 420 twips on the 96 DPI display.
    EXPECT_EQ(client.right, 117);
    EXPECT_EQ(client.bottom, 28);

    ::Sleep(500);
    EXPECT_TRUE(site.SupervisorRunning());
    EXPECT_FALSE(FindMessageBox(site.SupervisorPid()));
    EXPECT_EQ(site.Starts().size(), WorkerFiles.size()) << "nothing starts while idle";
}

TEST_F(Startup, ClosingTheFormEndsTheSupervisorAndLeavesTheWorkersRunning) {
    TerminalSite site(MakeTempFolder(L"close"));
    ASSERT_TRUE(site.InstallWorkers());
    ASSERT_TRUE(site.StartSupervisor());
    ASSERT_TRUE(site.WaitForStarts(WorkerFiles.size()));
    ASSERT_TRUE(site.WaitUntilReady(site.Starts().back().pid));
    ASSERT_TRUE(WaitUntil([&] { return site.Form() != nullptr; }, StartTimeoutMs));

    ASSERT_TRUE(::PostMessageW(site.Form(), WM_CLOSE, 0, 0));
    EXPECT_TRUE(site.WaitForSupervisorEnd(EndTimeoutMs));
    for (const StandInStart& start : site.Starts()) EXPECT_TRUE(site.IsRunning(start.pid));
}

TEST_F(Startup, EachMissingWorkerIsReportedAndEndsTheSupervisor) {
    const wchar_t* messages[] = {
        L"Gandro! Errores en la instalacion, llame a soporte!",
        L"Fenda! Errores en la instalacion, llame a soporte!",
        L"Fenda! Errores en la instalacion, llame a soporte!",
        L"Tulvan! Errores en la instalacion, llame a soporte!",
    };
    for (std::size_t missing = 0; missing < WorkerFiles.size(); ++missing) {
        SCOPED_TRACE(testing::Message() << "missing " << WorkerFiles[missing]);
        settings::Reset();
        TerminalSite site(MakeTempFolder(L"missing"));
        ASSERT_TRUE(site.InstallSupervisor());
        for (std::size_t i = 0; i < WorkerFiles.size(); ++i) {
            if (i == missing) continue;
            ASSERT_TRUE(site.InstallWorker(WorkerFiles[i]));
        }
        ASSERT_TRUE(site.StartSupervisor());

        std::optional<MessageBoxSeen> box;
        ASSERT_TRUE(WaitUntil([&] { return (box = FindMessageBox(site.SupervisorPid())).has_value(); },
                              MessageBoxTimeoutMs));
        EXPECT_EQ(box->title, L"ZORPA");
        EXPECT_EQ(box->text, messages[missing]);
        EXPECT_TRUE(site.SupervisorRunning()) << "the box is modal";

        const std::vector<StandInStart> starts = site.Starts();
        ASSERT_EQ(starts.size(), missing);
        for (std::size_t i = 0; i < missing; ++i) EXPECT_EQ(starts[i].exe, WorkerFiles[i]);

        PressOk(box->box);
        EXPECT_TRUE(site.WaitForSupervisorEnd(EndTimeoutMs));
        ::Sleep(300);
        EXPECT_EQ(site.Starts().size(), missing) << "no later worker is started";
        for (const StandInStart& start : site.Starts())
            EXPECT_TRUE(site.IsRunning(start.pid)) << "started workers keep running";
    }
}

TEST_F(Startup, AFolderWithBlanksNeverStartsTheProgramNamedByItsFirstWord) {
    const std::wstring parent = MakeTempFolder(L"blanks");
    const std::wstring folder = parent + L"\\Site Terminal";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    // A decoy where an unquoted command line would lead: it would log into `parent`.
    ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + StandInV1, parent + L"\\Site.exe"));
    {
        TerminalSite site(folder);
        ASSERT_TRUE(site.InstallWorkers());
        ASSERT_TRUE(site.StartSupervisor());
        ExpectStartedInOrder(site, folder);
        EXPECT_TRUE(ReadStandInLog(parent).empty()) << "the decoy ran";
        EXPECT_TRUE(site.SupervisorRunning());
    }
    KillProcessesIn(parent);
    RemoveTree(parent);
}

TEST_F(Startup, ADriveRootFolderBuildsPathsWithTwoBackslashes) {
    // wine-env.sh maps this drive to an empty folder of the test run.
    const std::wstring root = L"R:\\";
    ASSERT_EQ(::GetFileAttributesW(root.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              DWORD{FILE_ATTRIBUTE_DIRECTORY})
        << "drive R: is not mapped";
    TerminalSite site(root, true);
    RemoveTree(root, true);
    ASSERT_TRUE(site.InstallWorkers());
    ASSERT_TRUE(site.StartSupervisor());
    ExpectStartedInOrder(site, root);
    EXPECT_TRUE(site.SupervisorRunning());
}

TEST_F(Startup, TheProgramFileCarriesItsVersionAndIcon) {
    const std::wstring path = BuildFolder() + L"\\" + SupervisorFile;
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, size, info.data()));
    const auto text = [&](const wchar_t* name) {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        if (!::VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value),
                              &length))
            return std::wstring();
        return std::wstring(value);
    };
    EXPECT_EQ(text(L"ProductName"), L"ZORPA");
    EXPECT_EQ(text(L"FileVersion"), TEXT(APP_VERSION_TEXT));
    EXPECT_EQ(text(L"CompanyName"), L"");

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(HIWORD(fixed->dwFileVersionMS), APP_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionMS), APP_VERSION_MINOR);
    EXPECT_EQ(HIWORD(fixed->dwFileVersionLS), APP_VERSION_PATCH);

    // The icon group as stored: two 16-colour images, 32 x 32 and 16 x 16.
    const HMODULE image = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr);
    const HRSRC group = ::FindResourceW(image, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* directory = static_cast<const BYTE*>(::LockResource(::LoadResource(image, group)));
    ASSERT_NE(directory, nullptr);
    // GRPICONDIR: reserved, type, count (16 bits each), then 14-byte entries.
    constexpr std::size_t HeaderBytes = 6;
    constexpr std::size_t EntryBytes = 14;
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    std::vector<std::pair<int, int>> images;
    for (WORD i = 0; i < count; ++i) {
        const BYTE* entry = directory + HeaderBytes + i * EntryBytes;
        images.emplace_back(entry[0], entry[2]);  // width, colour count
    }
    ::FreeLibrary(image);
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{{32, 16}, {16, 16}}));
}

}  // namespace
