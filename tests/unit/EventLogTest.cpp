// The Event Log as the supervisor writes it: the events of each path, with the record's own
// sentences; the budget that keeps one terminal within its share of the log; and the one
// table of IDs, which the message file and the README must list alike.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "EventBudget.h"
#include "EventLog.h"
#include "ProgramImages.h"
#include "Supervisor.h"

namespace {

using zorpa::EventBudget;
using zorpa::EventLevel;
using zorpa::SlotId;

const std::wstring Server = L"\\\\SERVIDOR\\Nuevos\\";
constexpr std::uint32_t HeldBackId = 190;
constexpr std::uint64_t HourMs = 60 * 60 * 1000;
constexpr std::uint64_t DayMs = 24 * HourMs;

std::vector<std::uint32_t> Ids(const Supervisor& s) {
    std::vector<std::uint32_t> ids;
    for (const sim::EventRecord& event : s.sim.reportedEvents) ids.push_back(event.id);
    return ids;
}

struct PathCase {
    const char* name;
    std::function<void(Supervisor&)> act;  // after a normal start-up, threshold 2
    std::vector<std::uint32_t> ids;        // every event from the start
};

void PrintTo(const PathCase& row, std::ostream* out) { *out << row.name; }

class EventsOfEachPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(EventsOfEachPath, CarryTheirIdLevelAndTheRecordsSentence) {
    Supervisor s;
    s.sim.SetSetting(L"AjusteZORPA", L"2");
    s.Load();
    GetParam().act(s);
    EXPECT_EQ(Ids(s), GetParam().ids);
    const std::string record = "\r\n" + s.sim.File(s.sim.folder + L"\\ZORPA.log")->content;
    for (const sim::EventRecord& event : s.sim.reportedEvents) {
        if (event.id == HeldBackId) continue;
        const auto row = std::find_if(std::begin(zorpa::Events), std::end(zorpa::Events),
                                      [&](const zorpa::EventInfo& info) { return info.id == event.id; });
        ASSERT_NE(row, std::end(zorpa::Events)) << event.id;
        EXPECT_EQ(event.level, row->level) << event.id;
        // The same sentence as a whole line of the record, after its 31-character time stamp.
        const std::string sentence = zorpa::ToUtf8(event.sentence);
        const std::size_t at = record.find(" " + sentence + "\r\n");
        EXPECT_TRUE(at != std::string::npos && at >= 30 && record.rfind("\r\n", at) == at - 32)
            << sentence;
    }
}

void Offer(Supervisor& s, const std::wstring& file, const std::string& version = "v2") {
    s.sim.AddFile(Server + file, version);
    s.sim.SetSetting(L"RemplazarProgramas", L"1");
}

void HangTulvan(Supervisor& s, int restarts) {
    for (int i = 0; i < restarts; ++i) {
        s.sim.Hang(s.Slot(SlotId::TULVAN).Window);
        s.Tick();
        s.Tick();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, EventsOfEachPath,
    ::testing::Values(
        PathCase{"AnsweredAndMissedProbesAreNoEvents",
                 [](Supervisor& s) {
                     s.sim.Hang(s.Slot(SlotId::GANDRO).Window);
                     s.Tick();
                 },
                 {100}},
        PathCase{"HungWorkerRestarted", [](Supervisor& s) { HangTulvan(s, 1); }, {100, 111}},
        PathCase{"UpdateInstalledAndConfirmed",
                 [](Supervisor& s) {
                     Offer(s, L"TULVANNEW.EXE");
                     for (int tick = 0; tick < 3; ++tick) s.Tick();
                     for (int tick = 0; tick < 2; ++tick) s.sim.Advance(30000), s.Tick();
                 },
                 {100, 130, 111, 144}},
        PathCase{"UpdateRefused",
                 [](Supervisor& s) {
                     s.sim.AddRawFile(Server + L"TULVANNEW.EXE", sim::BuildImage({}).substr(0, 900));
                     s.sim.SetSetting(L"RemplazarProgramas", L"1");
                     s.Tick();
                 },
                 {100, 133}},
        PathCase{"UpdateFailsThenIsGivenUp",
                 [](Supervisor& s) {
                     s.sim.SetSetting(L"AjusteZORPA", L"1");
                     Offer(s, L"TULVANNEW.EXE");
                     s.sim.SetReadOnly(s.PathOf(SlotId::TULVAN), true);
                     s.Tick();
                     s.Tick();
                 },
                 {100, 132, 134}},
        PathCase{"NewVersionThatWontStartRolledBack",
                 [](Supervisor& s) {
                     Offer(s, L"TULVANNEW.EXE");
                     s.sim.versionFaults["v2"] = sim::VersionFault::WontStart;
                     for (int tick = 0; tick < 3; ++tick) s.Tick();
                 },
                 {100, 130, 140, 142, 111}},
        // The fourth restart in a row is held back by the budget.
        PathCase{"NewVersionWithoutWindowGivenUp",
                 [](Supervisor& s) {
                     s.sim.SetSetting(L"AjusteZORPA", L"1");
                     Offer(s, L"TULVANNEW.EXE");
                     s.sim.versionFaults["v2"] = sim::VersionFault::WindowLate;
                     for (int tick = 0; tick < 4; ++tick) s.Tick();
                 },
                 {100, 130, 111, 111, 111, 141, 142}},
        PathCase{"OwnUpdateStaged",
                 [](Supervisor& s) {
                     Offer(s, L"ZORPA.EXE");
                     Offer(s, L"ZORPANEW.EXE");
                     s.Tick();
                 },
                 {100, 131, 101}},
        PathCase{"WorkerThatCannotBeStartedEndsTheSupervisor",
                 [](Supervisor& s) {
                     s.sim.ExitProcess(s.Slot(SlotId::GANDRO).Pid);
                     s.sim.RemoveFile(s.PathOf(SlotId::GANDRO));
                     s.Tick();
                     s.Tick();
                 },
                 {100, 110, 101}},
        PathCase{"RunTimeErrorEndsTheSupervisor",
                 [](Supervisor& s) {
                     s.sim.FailWritesOf(L"Restart");
                     s.sim.SetSetting(L"Restart", L"1");
                     s.Tick();
                 },
                 {100, 150, 101}},
        // What the budget held back is told before the supervisor ends.
        PathCase{"HeldBackCountToldAtTheEnd",
                 [](Supervisor& s) {
                     HangTulvan(s, 5);
                     s.sim.SetSetting(L"ShutDown", L"1");
                     s.Tick();
                 },
                 {100, 111, 111, 111, 120, HeldBackId, 101}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EventLog, HeldBackCountSaysHowManyOfWhichIdAndSince) {
    Supervisor s;
    s.sim.SetSetting(L"AjusteZORPA", L"1");
    s.Load();
    for (int i = 0; i < 5; ++i) {
        s.sim.Hang(s.Slot(SlotId::TULVAN).Window);
        s.Tick();
    }
    s.sim.Advance(HourMs);
    s.sim.Hang(s.Slot(SlotId::TULVAN).Window);
    s.Tick();
    ASSERT_EQ(Ids(s), (std::vector<std::uint32_t>{100, 111, 111, 111, HeldBackId}));
    EXPECT_EQ(s.sim.reportedEvents.back().level, EventLevel::Warning);
    EXPECT_EQ(s.sim.reportedEvents.back().sentence,
              L"2 events with ID 111 kept out of the Event Log in the last 61 minutes, so that it "
              L"does not fill; ZORPA.log has each of them");
}

// --- the budget ---

struct Step {
    std::uint32_t id;
    std::uint64_t atMs;
    std::uint32_t told;  // the count written before it; 0: none
    bool written;
};

struct BudgetCase {
    const char* name;
    std::vector<Step> steps;
};

void PrintTo(const BudgetCase& row, std::ostream* out) { *out << row.name; }

class Budget : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(Budget, WritesTheFirstEventsThenOneCountPerHold) {
    EventBudget budget;
    for (std::size_t i = 0; i < GetParam().steps.size(); ++i) {
        const Step& step = GetParam().steps[i];
        const EventBudget::Verdict verdict = budget.Admit(step.id, step.atMs);
        EXPECT_EQ(verdict.told ? verdict.told->count : 0u, step.told) << "step " << i;
        if (verdict.told) {
            EXPECT_EQ(verdict.told->id, step.id) << "step " << i;
        }
        EXPECT_EQ(verdict.write, step.written) << "step " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Streams, Budget,
    ::testing::Values(
        BudgetCase{"ThreeWrittenThenHeld",
                   {{111, 0, 0, true}, {111, 1, 0, true}, {111, 2, 0, true}, {111, 3, 0, false}}},
        BudgetCase{"CountToldOnceTheHourIsOverThenHoldsDouble",
                   {{111, 0, 0, true}, {111, 0, 0, true}, {111, 0, 0, true},
                    {111, 1000, 0, false}, {111, 2000, 0, false},
                    {111, 1000 + HourMs, 2, false},       // the first hold is over
                    {111, 1000 + 2 * HourMs, 0, false},   // within the second, of two hours
                    {111, 1000 + 3 * HourMs, 2, false}}},
        BudgetCase{"HoldsGrowToADayAtMost",
                   {{111, 0, 0, true}, {111, 0, 0, true}, {111, 0, 0, true}, {111, 0, 0, false},
                    {111, HourMs, 1, false}, {111, 3 * HourMs, 1, false},
                    {111, 7 * HourMs, 1, false}, {111, 15 * HourMs, 1, false},
                    {111, 31 * HourMs, 1, false}, {111, 54 * HourMs, 0, false},
                    {111, 55 * HourMs, 2, false}}},
        BudgetCase{"ADayWithoutTheIdStartsAfresh",
                   {{111, 0, 0, true}, {111, 0, 0, true}, {111, 0, 0, true}, {111, 5, 0, false},
                    {111, 5 + DayMs, 1, true}, {111, 6 + DayMs, 0, true}}},
        BudgetCase{"IdsAreCountedApart",
                   {{111, 0, 0, true}, {111, 0, 0, true}, {111, 0, 0, true}, {111, 0, 0, false},
                    {120, 1, 0, true}, {133, 2, 0, true}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A week on a terminal that does everything that repeats, all the time: TULVAN hangs again as
// soon as it is restarted, another program posts Restart every cycle, and the server offers,
// hour by hour, a file that is refused and a version that cannot start (installed, then rolled
// back). One cycle every ten seconds, threshold 1; 2 in the hours of the version that cannot
// start, so that the refused hour before does not leave every request given up.
TEST(EventLog, WorstCaseWeekFitsInAQuarterOfXpsApplicationLog) {
    constexpr std::uint64_t CycleMs = 10000;
    constexpr std::uint64_t WeekMs = 7 * DayMs;
    constexpr std::size_t XpApplicationLogBytes = 512 * 1024;
    // An event as XP stores it: the record's fixed part, the source and the longest
    // computer name, each NUL-ended UTF-16, the sentence likewise, padded to 4 bytes, and
    // the length again at its end.
    const auto recordBytes = [](const std::wstring& sentence) {
        constexpr std::size_t Fixed = 56, Source = 2 * 6, Computer = 2 * 16, Length = 4;
        const std::size_t strings = 2 * (sentence.size() + 1);
        return (Fixed + Source + Computer + strings + 3) / 4 * 4 + Length;
    };
    Supervisor s;
    s.sim.SetSetting(L"AjusteZORPA", L"1");
    s.sim.versionFaults["v3"] = sim::VersionFault::WontStart;
    ASSERT_TRUE(s.Load());
    std::uint64_t lastHour = ~0ull;
    int cycles = 0;
    while (s.sim.NowMs() < WeekMs) {
        const std::uint64_t hour = s.sim.NowMs() / HourMs;
        if (hour != lastHour) {
            lastHour = hour;
            s.sim.RemoveFile(Server + L"TULVANNEW.EXE");
            if (hour % 2 == 0) s.sim.AddRawFile(Server + L"TULVANNEW.EXE", "MZ cut short");
            else s.sim.AddFile(Server + L"TULVANNEW.EXE", "v3");
            s.sim.SetSetting(L"AjusteZORPA", hour % 2 == 0 ? L"1" : L"2");
            s.sim.SetSetting(L"RemplazarProgramas", L"1");
        }
        const zorpa::ProgramSlot& tulvan = s.Slot(SlotId::TULVAN);
        if (!s.sim.WindowsOf(tulvan.Pid).empty()) s.sim.Hang(tulvan.Window);
        s.sim.SetSetting(L"Restart", L"1");
        ASSERT_TRUE(s.Tick()) << "the supervisor ended in cycle " << cycles;
        if (cycles++ % 360 == 0) {
            ASSERT_TRUE(s.Reset());
        }
        s.sim.Advance(CycleMs);
    }
    s.sim.SetSetting(L"ShutDown", L"1");
    s.Tick();
    std::size_t bytes = 0;
    std::set<std::uint32_t> ids;
    for (const sim::EventRecord& event : s.sim.reportedEvents) {
        bytes += recordBytes(event.sentence);
        ids.insert(event.id);
    }
    for (std::uint32_t id : {111u, 120u, 130u, 133u, 140u, 142u, HeldBackId})
        EXPECT_EQ(ids.count(id), 1u) << "the week never wrote ID " << id;
    EXPECT_LE(bytes, XpApplicationLogBytes / 4);
    RecordProperty("cycles", cycles);
    RecordProperty("events", static_cast<int>(s.sim.reportedEvents.size()));
    RecordProperty("bytes", static_cast<int>(bytes));
    std::cout << "worst-case week: " << cycles << " cycles, " << s.sim.reportedEvents.size()
              << " events, " << bytes << " bytes of the Application log\n";
}

// --- the one table ---

std::string SourceFile(const char* path) {
    std::ifstream file(std::string(ZORPA_SOURCE_DIR "/") + path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::vector<std::string> Matches(const std::string& text, const std::regex& pattern) {
    std::vector<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), pattern);
         it != std::sregex_iterator(); ++it)
        found.push_back(it->str(1));
    return found;
}

TEST(EventTable, TheMessageFileAndTheReadmeListEveryIdWithItsLevel) {
    static const char* const LevelNames[] = {"Information", "Warning", "Error"};
    std::vector<std::string> ids, rows;
    for (const zorpa::EventInfo& event : zorpa::Events) {
        ids.push_back(std::to_string(event.id));
        rows.push_back(std::to_string(event.id) + " | " +
                       LevelNames[static_cast<int>(event.level)]);
    }
    EXPECT_EQ(Matches(SourceFile("ZORPA/win32/ZORPAEvents.mc"),
                      std::regex(R"(\nMessageId=(\d+)\r?\n)")),
              ids);
    EXPECT_EQ(Matches(SourceFile("README.md"),
                      std::regex(R"(\n\| (\d{3} \| (?:Information|Warning|Error)) \|)")),
              rows);
}

TEST(EventLog, SentencesComeBackFromTheRecordsUtf8) {
    for (const std::wstring& text : {std::wstring(L"C:\\Caja \x00D1 \x20AC"), std::wstring(L"")})
        EXPECT_EQ(zorpa::FromUtf8(zorpa::ToUtf8(text)), text);
    EXPECT_EQ(zorpa::FromUtf8(zorpa::ToUtf8(L"\U0001D11E")), L"\U0001D11E");
}

}  // namespace
