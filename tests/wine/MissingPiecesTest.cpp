// ZORPA.exe under Wine when parts of the terminal are missing or broken: a worker that
// crashes, one that never makes a window, a server folder that does not exist and one on a
// drive that is not there. The supervisor must keep running and keep to its rules.

#include "RunningSite.h"
#include "Win32Handles.h"

namespace {

using namespace winetest;

constexpr DWORD EndTimeoutMs = 5000;
constexpr UINT CrashExitCode = 0xC0000005;
// No drive Q: is mapped in the test's Wine environment (only C:, R: and Z:).
constexpr const wchar_t* MissingDriveFolder = L"Q:\\Nuevos";
constexpr const wchar_t* MissingFolderName = L"no-such-server";

using Handle = zorpa::win32::UniqueHandle;

void Crash(DWORD pid) {
    const Handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    ASSERT_TRUE(process);
    ASSERT_TRUE(::TerminateProcess(process.get(), CrashExitCode));
}

// True once nobody holds the file open any more, so that a copy onto it can succeed.
bool Writable(const std::wstring& path) {
    const Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.get() != INVALID_HANDLE_VALUE;
}

class Missing : public RunningSite {};

TEST_F(Missing, AWorkerThatCrashesIsRestartedHiddenAtTheThreshold) {
    Start(L"2");
    Crash(Pid(FendaImpresion));
    ASSERT_TRUE(Site().WaitForEnd(Pid(FendaImpresion), EndTimeoutMs));

    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size()) << "one miss is below the threshold";
    ASSERT_TRUE(Site().Tick(CheckTimer));
    const std::optional<StandInStart> restart = Site().StartOf(L"FENDA_IMPRESION.EXE", 1);
    ASSERT_TRUE(restart);
    EXPECT_EQ(restart->show, 0);
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size() + 1);
    for (std::size_t slot : {Gandro, FendaTickets, Tulvan}) EXPECT_TRUE(Site().IsRunning(Pid(slot)));
    EXPECT_TRUE(Site().IsRunning(restart->pid));
    EXPECT_TRUE(Site().SupervisorRunning());
}

TEST_F(Missing, AWorkerThatNeverMakesAWindowGetsOneMoreInstanceAtEachThreshold) {
    Start(L"2", [](TerminalSite& site) { WriteText(site.PathOf(L"TULVAN.EXE.nowindow"), ""); });
    constexpr int Ticks = 4;
    for (int tick = 0; tick < Ticks; ++tick) ASSERT_TRUE(Site().Tick(CheckTimer));

    std::vector<DWORD> tulvans;
    while (const std::optional<StandInStart> start = Site().StartOf(L"TULVAN.EXE", tulvans.size()))
        tulvans.push_back(start->pid);
    ASSERT_EQ(tulvans.size(), 1u + Ticks / 2);
    for (DWORD pid : tulvans) EXPECT_TRUE(Site().IsRunning(pid)) << "nothing ends a windowless worker";
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size() + Ticks / 2) << "the others answer";
    EXPECT_TRUE(Site().SupervisorRunning());
}

class MissingServer : public RunningSite, public testing::WithParamInterface<bool> {
protected:
    // The folder the supervisor is pointed at: absent on a drive that exists, or on a drive
    // that does not.
    std::wstring Folder() {
        return GetParam() ? std::wstring(MissingDriveFolder) : Site().PathOf(MissingFolderName);
    }
};

// Win32 reports both as ERROR_PATH_NOT_FOUND, like an absent file, so neither is an error of
// the replacement: the request is cleared and not counted as a failed attempt. With a
// threshold of 1 one counted attempt would turn replacement off, so a later valid request
// shows it was not counted.
TEST_P(MissingServer, ClearsTheRequestCopiesNothingAndCountsNoFailedAttempt) {
    Start(L"1");
    const std::wstring missing = Folder();
    WIN32_FIND_DATAW found{};
    const HANDLE listing = ::FindFirstFileW((missing + L"\\TULVANNEW.EXE").c_str(), &found);
    const DWORD error = ::GetLastError();
    if (listing != INVALID_HANDLE_VALUE) ::FindClose(listing);
    ASSERT_EQ(listing, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, DWORD{ERROR_PATH_NOT_FOUND});

    settings::Set(L"RutaServidor", missing);
    settings::Set(L"RemplazarProgramas", L"1");
    const std::vector<char> oldTulvan = ReadBytes(Site().PathOf(L"TULVAN.EXE"));
    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(ReadBytes(Site().PathOf(L"TULVAN.EXE")), oldTulvan);
    EXPECT_FALSE(Exists(Site().PathOf(L"ZORPANEW.EXE")));
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size());
    for (std::size_t slot = 0; slot < WorkerFiles.size(); ++slot)
        EXPECT_TRUE(Site().IsRunning(Pid(slot))) << WorkerFiles[slot].c_str();
    ASSERT_TRUE(Site().SupervisorRunning());

    // A valid request now: TULVAN is ended first so that its file is free for the copy.
    const std::wstring server = Site().PathOf(L"server");
    ASSERT_TRUE(::CreateDirectoryW(server.c_str(), nullptr));
    ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + StandInV2, server + L"\\TULVANNEW.EXE"));
    Crash(Pid(Tulvan));
    ASSERT_TRUE(Site().WaitForEnd(Pid(Tulvan), EndTimeoutMs));
    ASSERT_TRUE(WaitUntil([&] { return Writable(Site().PathOf(L"TULVAN.EXE")); }, EndTimeoutMs));
    settings::Set(L"RutaServidor", server);
    settings::Set(L"RemplazarProgramas", L"1");
    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(ReadBytes(Site().PathOf(L"TULVAN.EXE")), ReadBytes(server + L"\\TULVANNEW.EXE"));
    const std::optional<StandInStart> restart = Site().StartOf(L"TULVAN.EXE", 1);
    ASSERT_TRUE(restart) << "the same cycle's hang watch starts the new version";
    EXPECT_EQ(restart->version, "2");
}

INSTANTIATE_TEST_SUITE_P(Missing, MissingServer, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Drive" : "Folder");
                         });

}  // namespace
