// Replacement of programs from the server folder by ZORPA.exe under Wine. The server folder
// is a local folder given in RutaServidor.
#include <algorithm>
#include <cstdio>

#include "RunningSite.h"

namespace {

using namespace winetest;

constexpr DWORD EndTimeoutMs = 5000;
constexpr int MaxTicks = 12;

class Update : public RunningSite {
protected:
    // The server folder, inside the terminal's folder so that it goes with it.
    std::wstring MakeServer() {
        const std::wstring server = Site().PathOf(L"server");
        ::CreateDirectoryW(server.c_str(), nullptr);
        settings::Set(L"RutaServidor", server);
        return server;
    }
    static std::vector<char> BuildOf(const wchar_t* file) {
        return ReadBytes(BuildFolder() + L"\\" + file);
    }
    // Prints the record's lines that hold `text`, for whoever reads the test's output; false
    // when there is none.
    bool PrintRecordLines(const std::string& text) {
        const std::vector<char> bytes = ReadBytes(Site().PathOf(L"ZORPA.log"));
        const std::string record(bytes.begin(), bytes.end());
        bool found = false;
        for (std::size_t start = 0, end; start < record.size(); start = end + 2) {
            end = std::min(record.find("\r\n", start), record.size());
            const std::string line = record.substr(start, end - start);
            if (line.find(text) != std::string::npos)
                found = true, std::printf("record: %s\n", line.c_str());
        }
        return found;
    }
};

// The new version carries bytes appended after the linker's output, as tools that stamp a
// version or a licence leave them: its checksum is stale, and Windows runs it all the same.
TEST_F(Update, ANewTulvanIsCopiedFromTheServerAndStartedByTheHangWatch) {
    Start(L"3");
    const std::wstring server = MakeServer();
    std::vector<char> offered = BuildOf(StandInV2);
    const std::string stamp = "licence 0042 for this site";
    offered.insert(offered.end(), stamp.begin(), stamp.end());
    WriteText(server + L"\\TULVANNEW.EXE", std::string(offered.begin(), offered.end()));
    settings::Set(L"RemplazarProgramas", L"1");

    // The copy may fail while the old program still holds its file; the next tick retries.
    for (int tick = 0; tick < MaxTicks && settings::Get(L"RemplazarProgramas") != L"0"; ++tick)
        ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
    EXPECT_TRUE(ReadBytes(Site().PathOf(L"TULVAN.EXE")) == offered) << "not installed as offered";
    EXPECT_TRUE(Site().WaitForEnd(Pid(Tulvan), EndTimeoutMs));
    EXPECT_TRUE(PrintRecordLines("TULVAN updated from ")) << "no update in the record";

    for (int tick = 0; tick < MaxTicks && !Site().StartOf(L"TULVAN.EXE", 1); ++tick)
        ASSERT_TRUE(Site().Tick(CheckTimer));
    const std::optional<StandInStart> restarted = Site().StartOf(L"TULVAN.EXE", 1);
    ASSERT_TRUE(restarted);
    EXPECT_EQ(restarted->version, "2");
    EXPECT_EQ(restarted->show, 0);
    EXPECT_EQ(Site().Starts().size(), WorkerFiles.size() + 1) << "no other worker was touched";
    for (std::size_t slot : {Gandro, FendaImpresion, FendaTickets})
        EXPECT_TRUE(Site().IsRunning(Pid(slot)));
    EXPECT_TRUE(Exists(server + L"\\TULVANNEW.EXE")) << "the server folder is left alone";
}

// Its new version is a ZORPA.exe (another program's is refused): this build's, stamped.
TEST_F(Update, TheSupervisorCopiesItsOwnNewVersionBesideItselfAndEnds) {
    Start(nullptr);
    const std::wstring server = MakeServer();
    ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + SupervisorFile, server + L"\\ZORPA.EXE"));
    std::vector<char> offered = BuildOf(SupervisorFile);
    const std::string stamp = "licence 0042 for this site";
    offered.insert(offered.end(), stamp.begin(), stamp.end());
    WriteText(server + L"\\ZORPANEW.EXE", std::string(offered.begin(), offered.end()));
    settings::Set(L"RemplazarProgramas", L"1");

    ASSERT_TRUE(Site().PostTick(CheckTimer));
    ASSERT_TRUE(Site().WaitForSupervisorEnd(EndTimeoutMs));
    EXPECT_EQ(ReadBytes(Site().PathOf(L"ZORPANEW.EXE")), offered);
    EXPECT_EQ(ReadBytes(Site().PathOf(SupervisorFile)), BuildOf(SupervisorFile));
    EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"1") << "the next start-up clears it";
    for (std::size_t slot = 0; slot < WorkerFiles.size(); ++slot)
        EXPECT_TRUE(Site().IsRunning(Pid(slot)));
}

TEST_F(Update, ATargetThatCannotBeWrittenIsRetriedUpToTheThresholdThenTheFlagIsOnlyCleared) {
    Start(L"3");
    const WriteLock lock(Site().PathOf(L"TULVAN.EXE"));
    ASSERT_TRUE(lock.Held());
    const std::wstring server = MakeServer();
    ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + StandInV2, server + L"\\TULVANNEW.EXE"));
    settings::Set(L"RemplazarProgramas", L"1");

    for (int attempt = 1; attempt <= 3; ++attempt) {
        ASSERT_TRUE(Site().Tick(CheckTimer));
        EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"1") << "after attempt " << attempt;
    }
    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(ReadBytes(Site().PathOf(L"TULVAN.EXE")), BuildOf(StandInV1));

    // Later requests are only cleared while the threshold stays where it is.
    settings::Set(L"RemplazarProgramas", L"1");
    ASSERT_TRUE(Site().Tick(CheckTimer));
    EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
    EXPECT_EQ(ReadBytes(Site().PathOf(L"TULVAN.EXE")), BuildOf(StandInV1));
}

// A bad new version never takes the worker away. One cut short or built for another processor
// is refused while the old one keeps running, and so are the good ones offered with it: every
// file is checked before any worker is ended. One that ends as soon as it starts is tried three
// times and then replaced by the kept old one, without a message.
TEST_F(Update, ABadNewVersionIsRefusedOrRolledBackAndTheOldOneRuns) {
    Start(L"3");
    const std::wstring server = MakeServer();
    const std::vector<char> installed = BuildOf(StandInV1);
    const std::vector<char> good = BuildOf(StandInV2);
    std::string otherProcessor(good.begin(), good.end());
    const std::size_t machine = *reinterpret_cast<const std::uint32_t*>(&good[0x3C]) + 4;
    otherProcessor[machine] = '\x64', otherProcessor[machine + 1] = '\xAA';  // ARM64
    const struct {
        const char* name;
        std::string file;
    } refused[] = {{"cut short", std::string(good.begin(), good.begin() + good.size() * 3 / 5)},
                   {"another processor", otherProcessor}};
    settings::Set(L"RemplazarProgramas", L"1");
    for (const wchar_t* good : {L"\\TULVANNEW.EXE", L"\\FENDA_IMPRESIONNEW.EXE"})
        ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + StandInV2, server + good));
    for (const auto& bad : refused) {
        SCOPED_TRACE(bad.name);
        WriteText(server + L"\\FENDA_TICKETSNEW.EXE", bad.file);
        ASSERT_TRUE(Site().Tick(CheckTimer));
        EXPECT_EQ(settings::Get(L"RemplazarProgramas"), L"1");
        for (std::size_t slot : {Tulvan, FendaImpresion, FendaTickets}) {
            const std::wstring worker = Site().PathOf(WorkerFiles[slot]);
            EXPECT_TRUE(ReadBytes(worker) == installed) << "a worker's file changed";
            EXPECT_TRUE(Site().IsRunning(Pid(slot)));
            for (const wchar_t* left : {L".new", L".old", L".old.new"})
                EXPECT_FALSE(Exists(worker + left));
        }
    }

    ::DeleteFileW((server + L"\\FENDA_IMPRESIONNEW.EXE").c_str());
    ::DeleteFileW((server + L"\\FENDA_TICKETSNEW.EXE").c_str());
    ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + StandInBroken, server + L"\\TULVANNEW.EXE"));
    ASSERT_TRUE(Site().Tick(CheckTimer));
    ASSERT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
    EXPECT_TRUE(ReadBytes(Site().PathOf(L"TULVAN.EXE.old")) == installed);
    settings::Set(L"AjusteZORPA", L"1");  // every miss restarts
    for (int tick = 0; tick < MaxTicks && !Site().StartOf(L"TULVAN.EXE", 4); ++tick)
        ASSERT_TRUE(Site().Tick(CheckTimer));
    std::vector<std::string> versions;
    std::optional<StandInStart> last;
    for (std::size_t start = 1; (last = Site().StartOf(L"TULVAN.EXE", start)); ++start)
        versions.push_back(last->version);
    ASSERT_EQ(versions, (std::vector<std::string>{"Broken", "Broken", "Broken", "1"}));
    EXPECT_TRUE(ReadBytes(Site().PathOf(L"TULVAN.EXE")) == installed) << "not rolled back";
    EXPECT_FALSE(Exists(Site().PathOf(L"TULVAN.EXE.old")));
    EXPECT_TRUE(Site().IsRunning(Site().StartOf(L"TULVAN.EXE", 4)->pid));
    EXPECT_FALSE(FindMessageBox(Site().SupervisorPid()));
    EXPECT_TRUE(Site().SupervisorRunning());
    EXPECT_TRUE(PrintRecordLines("Remplazar") && PrintRecordLines("TULVAN"));
}

}  // namespace
