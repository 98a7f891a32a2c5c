#include <gtest/gtest.h>

#include <functional>

#include "LogFile.h"
#include "ProgramImages.h"
#include "Supervisor.h"

using zorpa::LogFile;

namespace {

const std::wstring LogPath = L"C:\\Terminal\\ZORPA.log";
constexpr std::size_t StampLength = 31;  // "2026-12-08 10:00:00.000 +01:00 "
const std::size_t FirstLineLength =
    StampLength +
    std::string("ZORPA " APP_VERSION_TEXT " started in C:\\Terminal; threshold AjusteZORPA = 10\r\n")
        .size();

// The record's lines without their time stamps, each checked to end in CRLF.
std::vector<std::string> Lines(const Supervisor& s, const std::wstring& path = LogPath) {
    std::vector<std::string> lines;
    const std::string content = s.sim.File(path).value_or(sim::SimFile{}).content;
    for (std::size_t start = 0, end; start < content.size(); start = end + 2) {
        end = content.find("\r\n", start);
        if (end == std::string::npos) return {"<no CRLF>"};
        lines.push_back(content.substr(start + StampLength, end - start - StampLength));
    }
    return lines;
}

struct RecordCase {
    const char* name;
    std::function<void(Supervisor&)> act;  // after a normal start-up
    std::vector<std::string> lines;        // what it adds to the record
};

void PrintTo(const RecordCase& row, std::ostream* out) { *out << row.name; }

class Record : public ::testing::TestWithParam<RecordCase> {};

TEST_P(Record, EachEventWritesItsLine) {
    Supervisor s;
    s.sim.SetSetting(L"AjusteZORPA", L"2");
    ASSERT_TRUE(s.Load());
    const std::size_t before = Lines(s).size();
    GetParam().act(s);
    const std::vector<std::string> lines = Lines(s);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()), GetParam().lines);
}

const auto Tick = [](Supervisor& s) { s.Tick(); };

INSTANTIATE_TEST_SUITE_P(
    Events, Record,
    ::testing::Values(
        RecordCase{"AnsweredProbesWriteNothing", Tick, {}},
        RecordCase{"HungWorkerMissesThenRestart",
                   [](Supervisor& s) {
                       s.sim.Hang(s.Slot(zorpa::SlotId::FENDA_TICKETS).Window);
                       s.Tick();
                       s.Tick();
                   },
                   {"FENDA_TICKETS (process 1008) did not answer: miss 1 of 2",
                    "FENDA_TICKETS (process 1008) did not answer: miss 2 of 2",
                    "FENDA_TICKETS (process 1008) ended after 2 unanswered probes and started "
                    "again, hidden: process 1016"}},
        RecordCase{"RestartFails",
                   [](Supervisor& s) {
                       s.sim.ExitProcess(s.Slot(zorpa::SlotId::GANDRO).Pid);
                       s.sim.RemoveFile(s.PathOf(zorpa::SlotId::GANDRO));
                       s.Tick();
                       s.Tick();
                   },
                   {"GANDRO (process 1000) did not answer: miss 1 of 2",
                    "GANDRO (process 1000) did not answer: miss 2 of 2",
                    "GANDRO could not be started from C:\\Terminal\\GANDRO.EXE: error 2: The "
                    "system cannot find the file specified.",
                    "ZORPA ends: GANDRO could not be started"}},
        RecordCase{"ShutDown",
                   [](Supervisor& s) {
                       s.sim.SetSetting(L"ShutDown", L"1");
                       s.Tick();
                   },
                   {"ShutDown obeyed: ended FENDA_IMPRESION (process 1004), TULVAN (process "
                    "1012), FENDA_TICKETS (process 1008)",
                    "ZORPA ends: ShutDown was set"}},
        RecordCase{"RestartWithOneWorkerWithoutWindow",
                   [](Supervisor& s) {
                       s.Slot(zorpa::SlotId::TULVAN).Window = 0;
                       s.sim.SetSetting(L"Restart", L"1");
                       s.Tick();
                   },
                   {"Restart obeyed: ended FENDA_IMPRESION (process 1004), FENDA_TICKETS "
                    "(process 1008); the hang watch starts them again",
                    "FENDA_IMPRESION (process 1004) did not answer: miss 1 of 2",
                    "FENDA_TICKETS (process 1008) did not answer: miss 1 of 2",
                    "TULVAN (process 1012) did not answer: miss 1 of 2"}},
        RecordCase{"UpdateFailsThenIsOnlyCleared",
                   [](Supervisor& s) {
                       s.sim.SetSetting(L"AjusteZORPA", L"1");
                       s.sim.AddFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE", "v2");
                       s.sim.SetReadOnly(s.PathOf(zorpa::SlotId::TULVAN), true);
                       s.sim.SetSetting(L"RemplazarProgramas", L"1");
                       s.Tick();
                       s.Tick();
                   },
                   {"TULVAN started again, hidden, since the replacement step that ended it "
                    "failed: process 1016",
                    "RemplazarProgramas failed with run-time error 70 (failed attempt 1 of 1, "
                    "the request stays set): Permission denied: C:\\Terminal\\TULVAN.EXE: error 5: "
                    "Access is denied.",
                    "RemplazarProgramas cleared without trying: 1 failed attempts reached the "
                    "threshold 1"}},
        RecordCase{"WorkerAndOwnUpdate",
                   [](Supervisor& s) {
                       for (const wchar_t* file : {L"TULVANNEW.EXE", L"ZORPA.EXE", L"ZORPANEW.EXE"})
                           s.sim.AddFile(std::wstring(L"\\\\SERVIDOR\\Nuevos\\") + file, "v2");
                       s.sim.SetSetting(L"RemplazarProgramas", L"1");
                       s.Tick();
                   },
                   {"TULVAN updated from \\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE, 2 bytes; process 1012 "
                    "ended for it, the hang watch starts the new version",
                    "New supervisor staged as C:\\Terminal\\ZORPANEW.EXE from "
                    "\\\\SERVIDOR\\Nuevos\\ZORPANEW.EXE, 2 bytes",
                    "ZORPA ends: its new version is staged as ZORPANEW.EXE for the site to start"}},
        RecordCase{"NewVersionRefused",
                   [](Supervisor& s) {
                       s.sim.AddRawFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE",
                                        sim::BuildImage({}).substr(0, 900));
                       s.sim.SetSetting(L"RemplazarProgramas", L"1");
                       s.Tick();
                   },
                   {"RemplazarProgramas failed with run-time error 321 (failed attempt 1 of 2, "
                    "the request stays set): \\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE is not a program "
                    "this terminal can run: cut short: the file has 900 bytes and its sections "
                    "need 1536"}},
        RecordCase{"NewVersionConfirmed",
                   [](Supervisor& s) {
                       s.sim.AddFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE", "v2");
                       s.sim.SetSetting(L"RemplazarProgramas", L"1");
                       for (int tick = 0; tick < 3; ++tick) s.Tick();
                       for (int tick = 0; tick < 2; ++tick) s.sim.Advance(30000), s.Tick();
                   },
                   {"TULVAN updated from \\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE, 2 bytes; process 1012 "
                    "ended for it, the hang watch starts the new version",
                    "RemplazarProgramas obeyed: request cleared",
                    "TULVAN (process 1012) did not answer: miss 1 of 2",
                    "TULVAN (process 1012) did not answer: miss 2 of 2",
                    "TULVAN (process 1012) left as it was after 2 unanswered probes (no window or "
                    "running instance of it to end) and started again, hidden: process 1016",
                    "TULVAN's new version confirmed: process 1016 showed its window and answered "
                    "in 3 check cycles over 60 s; C:\\Terminal\\TULVAN.EXE.old deleted"}},
        RecordCase{"NewVersionWithoutWindowRolledBack",
                   [](Supervisor& s) {
                       s.sim.SetSetting(L"AjusteZORPA", L"1");
                       s.sim.AddFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE", "v2");
                       s.sim.versionFaults["v2"] = sim::VersionFault::WindowLate;
                       s.sim.SetSetting(L"RemplazarProgramas", L"1");
                       for (int tick = 0; tick < 4; ++tick) s.Tick();
                   },
                   {"TULVAN updated from \\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE, 2 bytes; process 1012 "
                    "ended for it, the hang watch starts the new version",
                    "RemplazarProgramas obeyed: request cleared",
                    "TULVAN (process 1012) did not answer: miss 1 of 1",
                    "TULVAN (process 1012) left as it was after 1 unanswered probe (no window or "
                    "running instance of it to end) and started again, hidden: process 1016",
                    "TULVAN (process 1016) did not answer: miss 1 of 1",
                    "TULVAN (process 1016) left as it was after 1 unanswered probe (no window or "
                    "running instance of it to end) and started again, hidden: process 1020",
                    "TULVAN (process 1020) did not answer: miss 1 of 1",
                    "TULVAN (process 1020) left as it was after 1 unanswered probe (no window or "
                    "running instance of it to end) and started again, hidden: process 1024",
                    "TULVAN (process 1024) did not answer: miss 1 of 1",
                    "TULVAN's new version given up: 3 instances ended or stopped answering before "
                    "one was confirmed (processes 1016, 1020, 1024)",
                    "TULVAN rolled back: the previous version is back in C:\\Terminal\\TULVAN.EXE",
                    "TULVAN (process 1024) ended after 1 unanswered probe and started again, hidden: "
                    "process 1028"}},
        RecordCase{"NewVersionRolledBack",
                   [](Supervisor& s) {
                       s.sim.AddFile(L"\\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE", "v2");
                       s.sim.versionFaults["v2"] = sim::VersionFault::WontStart;
                       s.sim.SetSetting(L"RemplazarProgramas", L"1");
                       for (int tick = 0; tick < 3; ++tick) s.Tick();
                   },
                   {"TULVAN updated from \\\\SERVIDOR\\Nuevos\\TULVANNEW.EXE, 2 bytes; process 1012 "
                    "ended for it, the hang watch starts the new version",
                    "RemplazarProgramas obeyed: request cleared",
                    "TULVAN (process 1012) did not answer: miss 1 of 2",
                    "TULVAN (process 1012) did not answer: miss 2 of 2",
                    "TULVAN's new version could not be started from C:\\Terminal\\TULVAN.EXE: error "
                    "193: %1 is not a valid Win32 application.",
                    "TULVAN rolled back: the previous version is back in C:\\Terminal\\TULVAN.EXE",
                    "TULVAN (process 1012) left as it was after 2 unanswered probes (no window or "
                    "running instance of it to end) and started again, hidden: process 1016"}},
        RecordCase{"UnhandledRunTimeError",
                   [](Supervisor& s) {
                       s.sim.FailWritesOf(L"Restart");
                       s.sim.SetSetting(L"Restart", L"1");
                       s.Tick();
                   },
                   {"Run-time error 75 shown to the user: Cannot write setting Restart",
                    "ZORPA ends: after run-time error 75"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RecordFile, StartUpLinesAreStampedInLocalTimeAndUtf8) {
    Supervisor s;
    s.sim.folder = L"C:\\Caja \x00D1";
    s.sim.AddWorkers();
    s.sim.Advance(1234);
    ASSERT_TRUE(s.Load());
    const std::string content = s.sim.File(s.sim.folder + L"\\ZORPA.log")->content;
    EXPECT_EQ(content.substr(0, content.find("\r\n") + 2),
              "2026-12-08 10:00:01.234 +01:00 ZORPA " APP_VERSION_TEXT " started in C:\\Caja "
              "\xC3\x91; threshold AjusteZORPA = 10\r\n");
    const std::vector<std::string> lines = Lines(s, s.sim.folder + L"\\ZORPA.log");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], "GANDRO started: process 1000, minimized without focus (style 6)");
    EXPECT_EQ(lines[4], "TULVAN started: process 1012, maximized (style 3)");

    const std::pair<zorpa::LocalTime, const char*> stamps[] = {
        {{2027, 1, 2, 3, 4, 5, 6, -330}, "2027-01-02 03:04:05.006 -05:30"},
        {{2026, 12, 31, 23, 59, 59, 999, 0}, "2026-12-31 23:59:59.999 +00:00"}};
    for (const auto& [time, text] : stamps) EXPECT_EQ(zorpa::FormatLocalTime(time), text);
    EXPECT_EQ(zorpa::ToUtf8(L"\x20AC \xD834\xDD1E \xDC00"),
              "\xE2\x82\xAC \xF0\x9D\x84\x9E \xEF\xBF\xBD");
}

// A text from outside (a signer's name, a file name, Windows' own text) cannot end a line of
// the record or write one of its own: each control character is written as U+FFFD.
TEST(RecordFile, TextsFromOutsideWriteNoLinesOfTheirOwn) {
    const std::string mark = "\xEF\xBF\xBD";
    const struct {
        const char* name;
        std::wstring text;
        std::string written;
    } cases[] = {
        {"a line break and a line after it", L"Site Publisher\r\n2026-12-09 TULVAN updated",
         "Site Publisher" + mark + mark + "2026-12-09 TULVAN updated"},
        {"a NUL inside", std::wstring(L"Site Publisher\0x", 16), "Site Publisher" + mark + "x"},
        {"a tab, an escape and DEL", L"a\tb\x1B[2Jc\x7F", "a" + mark + "b" + mark + "[2Jc" + mark},
        {"printable neighbours stay", L"\x20~\x80\x00D1", " ~\xC2\x80\xC3\x91"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zorpa::LogLine line;
        line << "signed by \"" << c.text << L"\"";
        EXPECT_EQ(line.Utf8(), "signed by \"" + c.written + "\"");
    }
}

// A kept copy that cannot stand for the previous version is deleted at start-up, with the reason.
TEST(RecordFile, AKeptCopyThatCannotBePutBackIsDeletedAtStartUp) {
    const struct {
        bool raw;
        std::string content;
        const char* why;
    } cases[] = {
        {true, sim::BuildImage({}).substr(0, 900),
         "it is not a program this terminal can run: cut short: the file has 900 bytes and its "
         "sections need 1536"},
        {false, "v1", "it is the same file as C:\\Terminal\\TULVAN.EXE, so no new version is on trial"},
    };
    for (const auto& [raw, kept, why] : cases) {
        Supervisor s;
        if (raw) s.sim.AddRawFile(L"C:\\Terminal\\TULVAN.EXE.old", kept);
        else s.sim.AddFile(L"C:\\Terminal\\TULVAN.EXE.old", kept);
        ASSERT_TRUE(s.Load());
        EXPECT_EQ(Lines(s).at(1),
                  std::string("TULVAN's kept version C:\\Terminal\\TULVAN.EXE.old deleted: ") +
                      why);
    }
}

TEST(RecordFile, RotatesPastItsSizeAndCountsTheLinesItCouldNotWrite) {
    Supervisor s;
    s.sim.AddFile(LogPath, std::string(LogFile::RotateAfterBytes, 'x'));
    s.sim.AddFile(L"C:\\Terminal\\ZORPA.1.log", "older");
    s.sim.AddFile(L"C:\\Terminal\\ZORPA.2.log", "oldest");
    s.sim.FailFile(L"C:\\Terminal\\ZORPA.1.log", 32);  // another program holds it, no sharing
    ASSERT_TRUE(s.Load());
    // The first line passed the size; the record could not be moved aside, so it takes no more.
    EXPECT_EQ(s.sim.File(LogPath)->content.size(), LogFile::RotateAfterBytes + FirstLineLength);
    EXPECT_EQ(s.sim.File(L"C:\\Terminal\\ZORPA.2.log")->content, "oldest");

    s.sim.FailFile(L"C:\\Terminal\\ZORPA.1.log", 0);
    s.sim.SetSetting(L"Restart", L"1");
    ASSERT_TRUE(s.Tick());
    EXPECT_EQ(s.sim.File(L"C:\\Terminal\\ZORPA.2.log")->content, "older");
    EXPECT_EQ(s.sim.File(L"C:\\Terminal\\ZORPA.1.log")->content.size(),
              LogFile::RotateAfterBytes + FirstLineLength);
    const std::vector<std::string> lines = Lines(s);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "4 lines before this one could not be written to this record");
    EXPECT_EQ(lines[1].rfind("Restart obeyed", 0), 0u);

    // A record another program holds without sharing loses lines, not the supervisor's work.
    s.sim.FailFile(LogPath, 32);
    s.sim.SetSetting(L"ShutDown", L"1");
    EXPECT_FALSE(s.Tick());
    EXPECT_EQ(Lines(s).size(), 5u);
    EXPECT_EQ(s.Flag(L"ShutDown"), L"0");
}

TEST(RecordFile, RotatesWithTheMiddleRecordMissing) {
    Supervisor s;
    s.sim.AddFile(LogPath, std::string(LogFile::RotateAfterBytes, 'x'));
    s.sim.AddFile(L"C:\\Terminal\\ZORPA.2.log", "oldest");
    ASSERT_TRUE(s.Load());
    EXPECT_EQ(s.sim.File(L"C:\\Terminal\\ZORPA.1.log").value_or(sim::SimFile{}).content.size(),
              LogFile::RotateAfterBytes + FirstLineLength);
    EXPECT_EQ(s.sim.File(L"C:\\Terminal\\ZORPA.2.log")->content, "oldest");
    EXPECT_EQ(Lines(s).size(), 4u);  // the workers' starts, in a new record
}

}  // namespace
