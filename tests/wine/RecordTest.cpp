// The supervisor's record, ZORPA.log, and its events in the Event Log, as the real ZORPA.exe
// writes them under Wine.
#include <iostream>
#include <regex>

#include "RunningSite.h"
#include "SupervisorEvents.h"

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

// One ReportEventW call as Wine traces it: "fixme:advapi:ReportEventW (handle,0x0002,0x0000,
// 0x0000006f,...)" with its type and ID, then "warn:eventlog:ReportEventW L\"...\"" with the
// string, escaped as Wine's debug strings are and cut short after about 290 characters.
struct TracedEvent {
    unsigned type = 0;
    unsigned id = 0;
    std::string sentence;
    bool cutShort = false;
};

// The string up to its closing quote; the sentences here are ASCII without control characters,
// so only backslashes and quotes come escaped.
std::string Unescaped(const std::string& text, std::size_t& at) {
    std::string out;
    for (; at < text.size() && text[at] != '"'; ++at) {
        if (text[at] == '\\' && at + 1 < text.size()) ++at;
        out += text[at];
    }
    return out;
}

// The traced calls from byte `from` of the trace on.
std::vector<TracedEvent> TracedEvents(const std::wstring& path, std::size_t from) {
    const std::vector<char> bytes = ReadBytes(path);
    std::istringstream trace(from < bytes.size() ? std::string(bytes.begin() + from, bytes.end())
                                                 : std::string());
    const std::regex call(R"(:fixme:advapi:ReportEventW \([0-9A-Fa-f]+,0x([0-9a-f]+),0x[0-9a-f]+,0x([0-9a-f]+),)");
    const std::string text = ":eventlog:ReportEventW L\"";
    std::vector<TracedEvent> events;
    for (std::string line; std::getline(trace, line);) {
        std::smatch found;
        if (std::regex_search(line, found, call)) {
            events.emplace_back();
            events.back().type = static_cast<unsigned>(std::stoul(found[1], nullptr, 16));
            events.back().id = static_cast<unsigned>(std::stoul(found[2], nullptr, 16));
        } else if (const std::size_t at = line.find(text); at != std::string::npos && !events.empty()) {
            std::size_t end = at + text.size();
            events.back().sentence = Unescaped(line, end);
            events.back().cutShort = line.compare(end, 4, "\"...") == 0;
        }
    }
    return events;
}

// The terminal's server folder, made and set as RutaServidor.
std::wstring ServerFolder(TerminalSite& site) {
    const std::wstring server = site.PathOf(L"server");
    ::CreateDirectoryW(server.c_str(), nullptr);
    settings::Set(L"RutaServidor", server);
    return server;
}

// Hangs the worker and runs the two check cycles after which, with threshold 2, it is restarted.
bool RestartAfterTwoMisses(TerminalSite& site, DWORD pid) {
    return site.Hang(pid) && site.Tick(CheckTimer) && site.Tick(CheckTimer);
}

std::string Worker(const char* name, DWORD pid) {
    return std::string(name) + " (process " + std::to_string(pid) + ")";
}

class Record : public RunningSite {};

TEST_F(Record, RestartUpdatesAndShutDownAreWrittenInOrderAndAHeldRecordStopsNothing) {
    Start(L"2");
    const std::wstring server = ServerFolder(Site());
    ASSERT_TRUE(RestartAfterTwoMisses(Site(), Pid(FendaTickets)));
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

class EventLog : public RunningSite {};

// A restart, a refusal and an update reach the Event Log with their IDs, their levels and the
// record's own sentences. The supervisor's Wine debug output is this program's standard error,
// which its CTest group writes to the file ZORPA_EVENT_TRACE names.
TEST_F(EventLog, ARestartARefusalAndAnUpdateReachTheEventLog) {
    wchar_t trace[MAX_PATH] = L"";
    if (::GetEnvironmentVariableW(L"ZORPA_EVENT_TRACE", trace, MAX_PATH) == 0)
        GTEST_SKIP() << "ZORPA_EVENT_TRACE names no file that holds this program's standard error";
    const std::size_t traceBefore = ReadBytes(trace).size();
    Start(L"2", [](TerminalSite& site) { site.TraceEvents(); });
    const std::wstring server = ServerFolder(Site());
    ASSERT_TRUE(RestartAfterTwoMisses(Site(), Pid(FendaTickets)));
    WriteText(server + L"\\TULVANNEW.EXE", "not a program");
    settings::Set(L"RemplazarProgramas", L"1");
    ASSERT_TRUE(Site().Tick(CheckTimer));
    ASSERT_TRUE(CopyInto(BuildFolder() + L"\\" + StandInV2, server + L"\\TULVANNEW.EXE"));
    ASSERT_TRUE(Site().Tick(CheckTimer));
    ASSERT_EQ(settings::Get(L"RemplazarProgramas"), L"0");
    settings::Set(L"ShutDown", L"1");
    ASSERT_TRUE(Site().PostTick(CheckTimer));
    ASSERT_TRUE(Site().WaitForSupervisorEnd(EndTimeoutMs));

    const std::vector<TracedEvent> events = TracedEvents(trace, traceBefore);
    // ID and type: 4 information, 2 warning, 1 error.
    std::vector<std::pair<unsigned, unsigned>> calls;
    for (const TracedEvent& event : events) calls.emplace_back(event.id, event.type);
    EXPECT_EQ(calls, (std::vector<std::pair<unsigned, unsigned>>{
                         {100, 4}, {111, 2}, {133, 1}, {130, 4}, {120, 4}, {101, 4}}));
    const std::vector<std::string> lines = RecordLines(Site().PathOf(L"ZORPA.log"));
    for (const TracedEvent& event : events) {
        std::cout << "event " << event.id << " (type " << event.type << "): " << event.sentence
                  << (event.cutShort ? "..." : "") << "\n";
        const bool inRecord = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            return event.cutShort ? line.rfind(event.sentence, 0) == 0 : line == event.sentence;
        });
        EXPECT_TRUE(inRecord) << "no record line for event " << event.id << ": " << event.sentence;
    }
}

// Event Viewer formats an event from the file the site registered as EventMessageFile,
// loaded as data: every ID must be in ZORPA.exe's own message table, as the sentence alone.
TEST_F(EventLog, EveryEventIdFormatsFromZorpaExesMessageTable) {
    struct Unloader {
        void operator()(HMODULE module) const { ::FreeLibrary(module); }
    };
    const std::unique_ptr<HINSTANCE__, Unloader> program(::LoadLibraryExW(
        (BuildFolder() + L"\\" + SupervisorFile).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(program) << ::GetLastError();
    const std::wstring sentence = L"TULVAN rolled back: the previous version is back in C:\\T\\TULVAN.EXE";
    for (const zorpa::EventInfo& event : zorpa::Events) {
        const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(sentence.c_str())};
        wchar_t text[512] = L"";
        const DWORD length = ::FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, program.get(), event.id,
            0, text, static_cast<DWORD>(std::size(text)), reinterpret_cast<va_list*>(
                const_cast<DWORD_PTR*>(arguments)));
        EXPECT_EQ(std::wstring(text, length), sentence + L"\r\n")
            << "ID " << event.id << ": error " << ::GetLastError();
    }
}

}  // namespace
