// The supervisor's record, ZORPA.log, as the real ZORPA.exe writes it under Wine.
#include <regex>

#include "RunningSite.h"

namespace {

using namespace winetest;

constexpr DWORD EndTimeoutMs = 5000;

// The record's lines, each checked for its time stamp and CRLF, with the stamp taken off.
std::vector<std::string> RecordLines(const std::wstring& path) {
    const std::vector<char> bytes = ReadBytes(path);
    const std::string content(bytes.begin(), bytes.end());
    const std::regex stamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} [+-]\d\d:\d\d )");
    std::vector<std::string> lines;
    for (std::size_t start = 0, end; start < content.size(); start = end + 2) {
        end = content.find("\r\n", start);
        if (end == std::string::npos) return {"<a line without CRLF>"};
        const std::string line = content.substr(start, end - start);
        std::smatch found;
        if (!std::regex_search(line, found, stamp, std::regex_constants::match_continuous))
            return {"<a line without its time stamp: " + line + ">"};
        lines.push_back(line.substr(found.length()));
    }
    return lines;
}

std::string Worker(const char* name, DWORD pid) {
    return std::string(name) + " (process " + std::to_string(pid) + ")";
}

class Record : public RunningSite {};

TEST_F(Record, RestartUpdatesAndShutDownAreWrittenInOrderAndAHeldRecordStopsNothing) {
    Start(L"2");
    const std::wstring server = Site().PathOf(L"server");
    ::CreateDirectoryW(server.c_str(), nullptr);
    settings::Set(L"RutaServidor", server);

    ASSERT_TRUE(Site().Hang(Pid(FendaTickets)));
    ASSERT_TRUE(Site().Tick(CheckTimer));
    ASSERT_TRUE(Site().Tick(CheckTimer));
    const std::optional<StandInStart> restarted = Site().StartOf(L"FENDA_TICKETS.EXE", 1);
    ASSERT_TRUE(restarted);

    // An update that fails while another program holds the worker's file, then one that works.
    ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + StandInV2, server + L"\\TULVANNEW.EXE"));
    settings::Set(L"RemplazarProgramas", L"1");
    {
        const WriteLock lock(Site().PathOf(L"TULVAN.EXE"));
        ASSERT_TRUE(lock.Held());
        ASSERT_TRUE(Site().Tick(CheckTimer));
    }
    ASSERT_TRUE(Site().WaitForEnd(Pid(Tulvan), EndTimeoutMs));
    ASSERT_TRUE(Site().Tick(CheckTimer));
    ASSERT_EQ(settings::Get(L"RemplazarProgramas"), L"0");

    // A record that another program holds without sharing costs lines, not commands.
    {
        const zorpa::win32::UniqueHandle held(::CreateFileW(Site().PathOf(L"ZORPA.log").c_str(),
                                                            GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                            FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
        settings::Set(L"Restart", L"1");
        ASSERT_TRUE(Site().Tick(CheckTimer));
        EXPECT_EQ(settings::Get(L"Restart"), L"0");
        EXPECT_TRUE(Site().WaitForEnd(Pid(FendaImpresion), EndTimeoutMs));
    }
    settings::Set(L"ShutDown", L"1");
    ASSERT_TRUE(Site().PostTick(CheckTimer));
    ASSERT_TRUE(Site().WaitForSupervisorEnd(EndTimeoutMs));

    const std::vector<std::string> expected{
        "ZORPA " APP_VERSION_TEXT " started in ",
        "GANDRO started: process " + std::to_string(Pid(Gandro)) + ", minimized without focus (style 6)",
        "TULVAN started: process " + std::to_string(Pid(Tulvan)) + ", maximized (style 3)",
        Worker("FENDA_TICKETS", Pid(FendaTickets)) + " did not answer: miss 1 of 2",
        Worker("FENDA_TICKETS", Pid(FendaTickets)) + " did not answer: miss 2 of 2",
        Worker("FENDA_TICKETS", Pid(FendaTickets)) +
            " ended after 2 unanswered probes and started again, hidden: process " +
            std::to_string(restarted->pid),
        "RemplazarProgramas failed with run-time error 70 (failed attempt 1 of 2, the request "
        "stays set): ",
        "TULVAN.EXE\": error ",  // the held file, with Windows' error
        "TULVAN updated from 1.4.0.2 to 1.5.0.0 in " + std::string(server.begin(), server.end()) +
            "\\TULVANNEW.EXE, ",
        "RemplazarProgramas obeyed: request cleared",
        " lines before this one could not be written to this record",
        "ShutDown obeyed: ended ",
        "ZORPA ends: ShutDown was set"};
    const std::vector<std::string> lines = RecordLines(Site().PathOf(L"ZORPA.log"));
    auto line = lines.begin();
    for (const std::string& fragment : expected) {
        line = std::find_if(line, lines.end(),
                            [&](const std::string& text) { return text.find(fragment) != std::string::npos; });
        ASSERT_NE(line, lines.end()) << "no line with \"" << fragment << "\" in order in:\n"
                                     << testing::PrintToString(lines);
    }
    EXPECT_EQ(lines.back(), "ZORPA ends: ShutDown was set");
}

}  // namespace
