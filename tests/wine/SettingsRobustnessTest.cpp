// Setting values that other programs of the site might leave behind, read by the supervisor:
// thousands of them through the Win32 binding against the real registry, and a sample through
// the running ZORPA.exe. oleaut32's own conversions decide what each value should mean.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>

#include "RunningSite.h"
#include "Settings.h"
#include "Win32Platform.h"
#include "WeirdValues.h"

namespace {

using namespace winetest;
using zorpa::SettingKey;

constexpr std::size_t BindingValues = 3000;
constexpr std::size_t SupervisorSample = 36;
constexpr std::uint32_t Seed = 5;
constexpr std::size_t FailuresShown = 20;
// More ticks than any default-threshold restart needs.
constexpr int TickLimit = 12;
constexpr DWORD EndTimeoutMs = 5000;

// What the user's own number conversions make of the value.
struct Oracle {
    bool flagSet;
    std::int16_t threshold;
};

Oracle OracleOf(const std::wstring& value) {
    std::wstring input = value;
    double number = 0;
    const bool isOne =
        SUCCEEDED(::VarR8FromStr(input.data(), LOCALE_USER_DEFAULT, 0, &number)) && number == 1.0;
    input = value;
    SHORT threshold = 0;
    const bool converts =
        SUCCEEDED(::VarI2FromStr(input.data(), LOCALE_USER_DEFAULT, 0, &threshold));
    return {isOne, converts ? static_cast<std::int16_t>(threshold) : zorpa::DefaultMissThreshold};
}

// Ends a process this test saw start and waits until it is gone.
void EndProcess(DWORD pid) {
    const std::unique_ptr<void, decltype(&::CloseHandle)> process(
        ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid), &::CloseHandle);
    if (!process) return;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), EndTimeoutMs);
}


class RobustSettings : public RunningSite {};

TEST_F(RobustSettings, EveryGeneratedValueReadsBackAndConvertsAsOleaut32Does) {
    zorpa::win32::Win32Platform platform;
    zorpa::Settings store(platform);
    const std::vector<std::wstring> values = WeirdSettingValues(BindingValues, Seed);

    std::size_t failures = 0;
    std::size_t flagsSet = 0;
    std::size_t thresholdsDefaulted = 0;
    auto fail = [&](const std::wstring& value, const std::string& what) {
        if (++failures <= FailuresShown) ADD_FAILURE() << what << " for \"" << Escaped(value) << '"';
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::wstring& value = values[i];
        const SettingKey flag = zorpa::CommandFlags[i % zorpa::CommandFlags.size()];
        settings::Set(NameOf(flag), value);
        settings::Set(L"AjusteZORPA", value);
        const Oracle expected = OracleOf(value);
        try {
            if (store.Read(flag) != value) fail(value, "the flag did not read back");
            if (store.Read(SettingKey::AjusteZORPA) != value)
                fail(value, "the threshold did not read back");
            const bool set = store.IsFlagSet(flag);
            if (set != expected.flagSet) fail(value, set ? "flag set" : "flag not set");
            const std::int16_t threshold = store.ReadMissThreshold();
            if (threshold != expected.threshold)
                fail(value, "threshold " + std::to_string(threshold) + " instead of " +
                                std::to_string(expected.threshold));
            flagsSet += set ? 1 : 0;
            thresholdsDefaulted += threshold == zorpa::DefaultMissThreshold ? 1 : 0;
        } catch (const std::exception& error) {
            fail(value, std::string("exception ") + error.what());
        }
    }
    EXPECT_EQ(failures, 0u);
    // The values must reach both sides of each rule, or the run proves little.
    EXPECT_GT(flagsSet, 0u);
    EXPECT_LT(flagsSet, values.size());
    EXPECT_GT(thresholdsDefaulted, 0u);
    EXPECT_LT(thresholdsDefaulted, values.size());
    std::cout << values.size() << " values: " << flagsSet << " flags set, "
              << thresholdsDefaulted << " thresholds at the default\n";
    RecordProperty("values", static_cast<int>(values.size()));
    RecordProperty("flags_set", static_cast<int>(flagsSet));
    RecordProperty("thresholds_default", static_cast<int>(thresholdsDefaulted));
}

// Thresholds between 2 and the limit, written oddly: the generated values rarely give one.
const wchar_t* const SmallThresholds[] = {L" &H3 ", L"2.5", L"6.5e0", L"+4", L"0.9e1", L"7,0"};

// A sample spread over the generated values, and the small thresholds above.
std::vector<std::wstring> Sample() {
    const std::vector<std::wstring> values = WeirdSettingValues(BindingValues, Seed);
    std::vector<std::wstring> sample(std::begin(SmallThresholds), std::end(SmallThresholds));
    const std::size_t spread = SupervisorSample - sample.size();
    const std::size_t step = values.size() / spread;
    for (std::size_t i = 0; i < spread; ++i) sample.push_back(values[i * step]);
    return sample;
}

// GANDRO never makes a window, so every cycle counts a miss for it at no cost: the tick on
// which its second instance starts shows the threshold the supervisor read.
TEST_F(RobustSettings, TheSupervisorKeepsRunningAndObeysNoFlagThatIsNotExactlyOne) {
    Start(nullptr, [](TerminalSite& site) { WriteText(site.PathOf(L"GANDRO.EXE.nowindow"), ""); });
    zorpa::win32::Win32Platform platform;
    zorpa::Settings store(platform);
    const std::wstring notOne = L"2";

    std::size_t gandroStarts = 1;
    std::map<int, int> restartTicks;
    for (const std::wstring& value : Sample()) {
        SCOPED_TRACE("value \"" + Escaped(value) + '"');
        const Oracle expected = OracleOf(value);
        const std::wstring flagValue = expected.flagSet ? notOne : value;
        for (SettingKey flag : zorpa::CommandFlags) settings::Set(NameOf(flag), flagValue);
        settings::Set(L"AjusteZORPA", value);
        ASSERT_TRUE(Site().Tick(ResetTimer));

        int restartTick = 0;
        for (int tick = 1; tick <= TickLimit && restartTick == 0; ++tick) {
            ASSERT_TRUE(Site().Tick(CheckTimer)) << "the supervisor stopped answering";
            if (Site().StartOf(L"GANDRO.EXE", gandroStarts)) restartTick = tick;
        }
        const int threshold = std::max<int>(expected.threshold, 1);
        EXPECT_EQ(restartTick, threshold <= TickLimit ? threshold : 0);
        ++restartTicks[restartTick];
        // A second instance is left beside the first; end it so they do not pile up.
        if (restartTick != 0) EndProcess(Site().StartOf(L"GANDRO.EXE", gandroStarts++)->pid);

        ASSERT_TRUE(Site().SupervisorRunning());
        for (SettingKey flag : zorpa::CommandFlags)
            EXPECT_EQ(store.Read(flag), flagValue) << "acted on " << NameOf(flag);
        for (std::size_t slot : {FendaImpresion, FendaTickets, Tulvan})
            EXPECT_TRUE(Site().IsRunning(Pid(slot))) << WorkerFiles[slot].c_str();
        EXPECT_EQ(Site().Starts().size(), WorkerFiles.size() - 1 + gandroStarts);
    }

    std::cout << SupervisorSample << " values; restarts on tick (0: none):";
    for (const auto& [tick, values] : restartTicks) std::cout << ' ' << tick << 'x' << values;
    std::cout << '\n';

    // The same supervisor still obeys a flag that is exactly 1, however it is written.
    for (SettingKey flag : zorpa::CommandFlags) settings::Set(NameOf(flag), L"0");
    const std::wstring one = L" &H1";
    ASSERT_TRUE(OracleOf(one).flagSet);
    settings::Set(L"ShutDown", one);
    ASSERT_TRUE(Site().PostTick(CheckTimer));
    EXPECT_TRUE(Site().WaitForSupervisorEnd(EndTimeoutMs));
    EXPECT_EQ(settings::Get(L"ShutDown"), L"0");
    for (std::size_t slot : {FendaImpresion, FendaTickets, Tulvan})
        EXPECT_TRUE(Site().WaitForEnd(Pid(slot), EndTimeoutMs)) << WorkerFiles[slot].c_str();
}

}  // namespace
